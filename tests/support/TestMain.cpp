// Every test program: one QApplication on the offscreen platform, settings and
// the update host pointed at places of the test's own.
#include "support/Headless.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QTemporaryDir config;
    UseHeadlessEnvironment(config.path());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
