// The window's tests need an application object before the first widget exists.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    // No display needed, also when the tests are run by hand or listed by CTest.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication Application(argc, argv);
    return RUN_ALL_TESTS();
}
