// main() for tests in the private headless KWin: a Qt application on KWin's Wayland display
// (so screens have their names), which also serves the test scripts' D-Bus answers.

#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "wayland");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
