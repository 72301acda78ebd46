// main() for tests that measure or draw text: fonts need a QGuiApplication. The harness runs
// unit tests with QT_QPA_PLATFORM=offscreen; a test started by hand gets it as well.

#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
