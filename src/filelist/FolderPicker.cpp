#include "filelist/FolderPicker.h"

#include "platform/Dialogs.h"
#include "platform/FileOps.h"

QString BrowseForFolder(Dialogs& dialogs, const QString& appPath, const QString& prompt,
                        const QString& startFolder) {
    // The root of the program's file system stands in when no start is given.
    QString start = startFolder.isEmpty() ? QStringLiteral("/") : startFolder + QLatin1Char('/');
    start.replace(QStringLiteral("//"), QStringLiteral("/"));

    QString chosen = dialogs.PickFolder(prompt, start);
    if (chosen.isEmpty()) return {};
    chosen += QLatin1Char('/');
    chosen.replace(QStringLiteral("//"), QStringLiteral("/"));
    if (!fileops::FolderExists(chosen)) return appPath;
    return chosen;
}
