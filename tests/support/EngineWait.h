#pragma once

// Waiting, with the event loop running, until a TesseractRecognizer reports its engine loaded
// or freed.

#include "TesseractRecognizer.h"

#include <QEventLoop>

namespace quandrel::test {

inline void waitForEngine(TesseractRecognizer& recognizer, bool loaded)
{
    if (recognizer.isEngineLoaded() == loaded)
        return;
    QEventLoop loop;
    QObject::connect(&recognizer, &TesseractRecognizer::engineLoadedChanged, &loop, [&](bool now) {
        if (now == loaded)
            loop.quit();
    });
    loop.exec();
}

} // namespace quandrel::test
