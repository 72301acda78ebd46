#pragma once

// The three replaceable steps that carry an UpdateCandidate onto the disk.

#include "AppBundle.h"
#include "GitHubRelease.h"

#include <QCoroTask>

#include <functional>

namespace ostry {

enum class InstallMode { direct, needsAuthorization };

class UpdateDownloader {
public:
    virtual ~UpdateDownloader() = default;
    // Downloads, checks and unpacks the candidate's archive; gives the unpacked bundle.
    // `progress` receives fractions from 0.0 to 1.0 on the calling thread. Throws UpdateError.
    virtual QCoro::Task<AppBundle> download(UpdateCandidate candidate, QString appName,
                                            std::function<void(double)> progress) = 0;
    // Removes what the latest download left on disk (its unpacked bundle included); called
    // once that bundle was installed or given up.
    virtual void discard() {}
};

class UpdateVerifier {
public:
    virtual ~UpdateVerifier() = default;
    // Throws VerificationError.
    virtual void verify(const AppBundle& newBundle, const AppBundle& running) = 0;
};

class UpdateInstaller {
public:
    virtual ~UpdateInstaller() = default;
    // Throws InstallError.
    virtual InstallMode installMode(const QString& runningPath) = 0;
    // Throws InstallError (or ShellFailure from the authorization path).
    virtual void install(const AppBundle& newBundle, const QString& runningPath, InstallMode mode) = 0;
};

} // namespace ostry
