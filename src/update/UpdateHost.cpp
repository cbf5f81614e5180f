#include "update/UpdateHost.h"

#include "update/CurlTransfer.h"
#include "update/PartFile.h"

#include <QStandardPaths>

namespace updatehost {

QString Base() {
    QString base = qEnvironmentVariable("PLINDOR_UPDATE_BASE").trimmed();
    if (base.isEmpty()) base = QString::fromLatin1(DefaultBase);
    if (!base.endsWith('/')) base += '/';
    return base;
}

QString UpdateDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Plindor");
}

QString FindArchiver() {
    for (const char* name : {"unrar", "rar", "unar"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty()) return path;
    }
    return {};
}

}  // namespace updatehost

bool DownloadFileNoCache(const QString& Url, const QString& LocalFile, const TransferLimits& limits) {
    // There is no download cache to clear before or after.
    TransferOptions opt;
    opt.url = Url;
    opt.limits = limits;
    PartFile file(LocalFile);
    return RunTransfer(opt, file).Ok();
}
