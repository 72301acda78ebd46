// The install helper with test hooks, standing in for the bundle's helper in the installer
// tests. After each step:
//   OSTRY_TEST_HELPER_RUN      a shell command, run with OSTRY_STEP (the step's name) and
//                              OSTRY_STAGING (the staging folder) in its environment: the
//                              hostile process, or a check of the folder at that moment;
//   OSTRY_TEST_HELPER_KILL_AT  the name of the step after which the helper kills itself
//                              (SIGKILL), as a power cut or a killed process would.

#include "InstallHelper.h"

#include <QByteArray>
#include <QFile>

#include <csignal>
#include <cstdlib>

int main(int argc, char** argv)
{
    const QByteArray command = qgetenv("OSTRY_TEST_HELPER_RUN");
    const QByteArray killAt = qgetenv("OSTRY_TEST_HELPER_KILL_AT");
    return ostry::InstallHelper::main(argc, argv, [&](ostry::InstallHelper::Step step, const QString& staging) {
        const char* name = ostry::InstallHelper::stepName(step);
        if (!command.isEmpty()) {
            ::setenv("OSTRY_STEP", name, 1);
            ::setenv("OSTRY_STAGING", QFile::encodeName(staging).constData(), 1);
            if (std::system(command.constData()) == -1)
                std::abort();
        }
        if (killAt == name)
            std::raise(SIGKILL);
    });
}
