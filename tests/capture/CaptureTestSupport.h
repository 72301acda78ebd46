#pragma once

// What the capture tests share: the value of a capture that must succeed, waiting with the
// event loop running, and images whose pixels differ.

#include "CapturedImage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>

#include <gtest/gtest.h>

#include <functional>

namespace quandrel::test {

template <typename T>
T valueOf(CaptureResult<T> result)
{
    if (auto* error = std::get_if<CaptureError>(&result))
        ADD_FAILURE() << "capture failed: " << error->description().toStdString();
    return std::get<T>(std::move(result));
}

// Runs the event loop until `condition` holds or the time is up; answers the condition.
inline bool spinUntil(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

// Every pixel unpredictable from its neighbours.
inline QImage noise(int width, int height, std::uint32_t seed = 12345)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, (seed = seed * 1664525u + 1013904223u) >> 8);
    return image;
}

} // namespace quandrel::test
