#include "batch/Containers.h"

#include "platform/FileOps.h"

#include <QStringList>

namespace container {

Mechanism MechanismFor(const QString& path) {
    const QString name = fileops::NameOf(path);
    const int dot = name.lastIndexOf('.');
    if (dot < 0) return Mechanism::None;
    const QString ext = name.mid(dot + 1).toLower();
    if (ext == "mp4" || ext == "m4v" || ext == "m4a") return Mechanism::Mp4;
    if (ext == "mov" || ext == "qt") return Mechanism::QuickTime;
    if (ext == "mkv" || ext == "mka" || ext == "mks") return Mechanism::Matroska;
    if (ext == "mp3") return Mechanism::Mp3;
    return Mechanism::None;
}

bool IsCoverAttachmentName(const QString& name) {
    static const QStringList stems = {"cover", "small_cover", "cover_land", "small_cover_land"};
    const int dot = name.lastIndexOf('.');
    const QString stem = (dot < 0 ? name : name.left(dot)).toLower();
    return stems.contains(stem);
}

}  // namespace container
