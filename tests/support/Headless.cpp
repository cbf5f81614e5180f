#include "support/Headless.h"

#include <QByteArray>

void UseHeadlessEnvironment(const QString& folder) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", folder.toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", folder.toLocal8Bit());
    qputenv("XDG_DATA_HOME", (folder + "/data").toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("PLINDOR_UPDATE_BASE"))
        qputenv("PLINDOR_UPDATE_BASE", "http://127.0.0.1:9/");  // nothing listens there
}
