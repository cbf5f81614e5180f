#include "filelist/IntakeRules.h"

namespace intake {

const QStringList& AddCoverExtensions() {
    static const QStringList exts = QStringLiteral("jpg jpeg png gif bmp tif tiff").split(' ');
    return exts;
}

const QStringList& ScanCoverExtensions() {
    static const QStringList exts = QStringLiteral("jpg jpeg bmp png gif tif tiff").split(' ');
    return exts;
}

const QString kMp3ScanFilter = QStringLiteral("*.mp3;*.mp2");
const QString kMp3DialogFilter = QStringLiteral("mp3|*.mp3;*.mp2");

bool ScanFilterKeeps(const QString& fullPath, const QString& filter) {
    const int dot = fullPath.lastIndexOf('.');
    if (dot < 0) return false;
    return filter.contains(QLatin1Char('*') + fullPath.mid(dot).toLower(), Qt::CaseSensitive);
}

bool DropFilterKeeps(const QString& name, const QString& filter) {
    const int dot = name.lastIndexOf('.');
    const QString ext = dot < 0 ? name : name.mid(dot + 1);
    return filter.toLower().contains(ext.toLower(), Qt::CaseSensitive);
}

QString StemOf(const QString& name) {
    const int dot = name.lastIndexOf('.');
    return dot < 0 ? name : name.left(dot);
}

QString PictureNameOf(const QString& videoName) {
    const int dot = videoName.lastIndexOf('.');
    return dot < 0 ? videoName + QStringLiteral(".jpg") : videoName.left(dot + 1) + QStringLiteral("jpg");
}

QStringList SplitFileNameText(const QString& fileName) { return fileName.split(QChar(0)); }

std::vector<PickedFile> PickedFiles(const QString& fileName) {
    std::vector<PickedFile> picked;
    const QStringList parts = SplitFileNameText(fileName);
    for (int i = 1; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part.isEmpty()) continue;
        // A name picked outside the first one's folder comes whole.
        const int slash = part.lastIndexOf(QLatin1Char('/'));
        if (slash < 0)
            picked.push_back({parts.first(), part});
        else
            picked.push_back({part.left(slash), part.mid(slash + 1)});
    }
    return picked;
}

QString RowText(const QStringList& cells) { return cells.join(QLatin1Char('\t')); }

bool CellsFitARow(const QStringList& cells) {
    for (const QString& cell : cells)
        for (const QChar c : cell)
            if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) return false;
    return true;
}

}  // namespace intake
