// Every test program: one QApplication on the offscreen platform, settings and
// the update host pointed at places of the test's own.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (config.path() + "/data").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("PLINDOR_UPDATE_BASE"))
        qputenv("PLINDOR_UPDATE_BASE", "http://127.0.0.1:9/");  // nothing listens there
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
