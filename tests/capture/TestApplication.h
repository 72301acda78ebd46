#pragma once

// One application object for a whole test program, made on first use: the capturer's waits
// and the clipboard need an event loop.

#include <QApplication>

#include <memory>

namespace quandrel::test {

inline QApplication& application()
{
    static int argc = 1;
    static char name[] = "quandrel-capture-tests";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> app = [] {
        auto a = std::make_unique<QApplication>(argc, argv);
        return a;
    }();
    return *app;
}

} // namespace quandrel::test
