#include "app/Form1.h"
#include "platform/LinuxProcessList.h"
#include "platform/LinuxShell.h"
#include "platform/QtDialogs.h"
#include "platform/QtSettings.h"
#include "platform/RealAppControl.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Plindor");

    // Qt's own Chinese texts for the standard buttons and dialogs.
    QTranslator qtBase;
    if (qtBase.load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtBase);

    QtDialogs dialogs;
    LinuxShell shell;
    LinuxProcessList processes;
    QtSettings settings;
    RealAppControl control;
    Services services{&dialogs, &shell, &processes, &settings, &control};

    Form1 form(QFileInfo(QCoreApplication::applicationFilePath()).absolutePath(), services);
    dialogs.SetParent(&form);
    if (!form.Form_Load()) return 0;
    form.show();
    return app.exec();
}
