// GoogleTest with one QApplication for every test, on the offscreen platform
// unless the environment names another.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt keeps the file dialog's last folder in the user's configuration:
    // the tests' folders stay out of it, and one test's choice out of the next run.
    QTemporaryDir config;
    if (config.isValid()) {
        qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
        // The history the program records goes there too.
        qputenv("XDG_STATE_HOME", (config.path() + "/state").toLocal8Bit());
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return RUN_ALL_TESTS();
}
