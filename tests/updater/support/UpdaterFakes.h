#pragma once

// In-memory feed, downloader, verifier, installer and presenter for the updater's state
// machine, each counting what it was asked.

#include "Errors.h"
#include "Updater.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>

#include <QCoroSignal>

#include <atomic>
#include <functional>
#include <optional>
#include <vector>

namespace ostry::test {

// Holds awaiting work until the test opens it.
class Gate : public QObject {
    Q_OBJECT
public:
    bool closed = false;
    QCoro::Task<void> pass()
    {
        if (closed)
            co_await qCoro(this, &Gate::opened);
    }
    void open()
    {
        closed = false;
        Q_EMIT opened();
    }
Q_SIGNALS:
    void opened();
};

// Processes events until `done` holds or five seconds have passed.
inline bool waitUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

inline UpdateCandidate candidateFor(const QString& version)
{
    UpdateCandidate candidate;
    candidate.version = *AppVersion::parse(version);
    candidate.title = QStringLiteral("Quandrel ") + version;
    candidate.notes = QStringLiteral("* Faster\n* Smaller");
    candidate.downloadURL = QUrl(QStringLiteral("https://example.invalid/Quandrel-") + version + QStringLiteral(".zip"));
    candidate.assetName = QStringLiteral("Quandrel-") + version + QStringLiteral(".zip");
    return candidate;
}

class FakeFeed : public ReleaseFeed {
public:
    std::optional<UpdateCandidate> answer;
    std::optional<QString> failure; // thrown as a FeedError
    Gate gate;
    int calls = 0;

    QCoro::Task<std::optional<UpdateCandidate>> latestCandidate() override
    {
        ++calls;
        co_await gate.pass();
        if (failure)
            throw FeedError::network(*failure);
        // A copy: QCoro 0.8 moves from an lvalue given to co_return.
        std::optional<UpdateCandidate> result = answer;
        co_return result;
    }
};

class FakeDownloader : public UpdateDownloader {
public:
    QString bundlePath;                  // what the download gives
    std::optional<QString> failure;      // thrown as a DownloadError
    std::vector<double> progressSteps{0.25, 0.5, 1.0};
    Gate gate;
    int calls = 0;
    int discards = 0;

    QCoro::Task<AppBundle> download(UpdateCandidate, QString, std::function<void(double)> progress) override
    {
        ++calls;
        for (double step : progressSteps)
            progress(step);
        co_await gate.pass();
        if (failure)
            throw DownloadError::network(*failure);
        co_return AppBundle(bundlePath);
    }
    void discard() override { ++discards; }
};

class FakeVerifier : public UpdateVerifier {
public:
    std::optional<QString> failure; // thrown as invalidSignature
    std::atomic<int> calls = 0;

    void verify(const AppBundle&, const AppBundle&) override
    {
        ++calls;
        if (failure)
            throw VerificationError::invalidSignature(*failure);
    }
};

class FakeInstaller : public UpdateInstaller {
public:
    InstallMode mode = InstallMode::direct;
    bool modeFails = false;
    std::optional<QString> failure; // thrown as InstallError::failed
    std::atomic<int> modeCalls = 0;
    std::atomic<int> installs = 0;
    QString installedFrom;
    std::optional<InstallMode> installedWith;

    InstallMode installMode(const QString&) override
    {
        ++modeCalls;
        if (modeFails)
            throw InstallError::readOnlyVolume();
        return mode;
    }
    void install(const AppBundle& newBundle, const QString&, InstallMode how) override
    {
        if (failure) {
            ++installs;
            throw InstallError::failed(*failure);
        }
        installedFrom = newBundle.path();
        installedWith = how;
        ++installs; // last: the test reads the fields once it sees the count
    }
};

class FakePresenter : public UpdatePresenting {
public:
    int shows = 0;
    int closes = 0;
    int upToDates = 0;
    int errors = 0;
    int readies = 0;
    QString lastUpToDate;
    QString lastError;
    std::optional<UpdateCandidate> lastReady;

    void show(Updater&) override { ++shows; }
    void close() override { ++closes; }
    void showUpToDate(const QString& appName, const QString& version) override
    {
        ++upToDates;
        lastUpToDate = appName + QLatin1Char(' ') + version;
    }
    void showError(const QString& message) override
    {
        ++errors;
        lastError = message;
    }
    void notifyReady(const QString&, const UpdateCandidate& candidate) override
    {
        ++readies;
        lastReady = candidate;
    }
    int total() const { return shows + closes + upToDates + errors + readies; }
};

} // namespace ostry::test
