#include "batch/SourceReplace.h"

#include "platform/FileOps.h"

#include <QFile>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

namespace replace {

QString StagingPathFor(const QString& target) {
    return fileops::FolderOf(target) + "/." + fileops::NameOf(target) + ".plindor-new";
}

QString DiskFullText(const QString& mountPoint) {
    return mountPoint + QStringLiteral("盘磁盘空间不足，请释放空间后重试保存！");
}

Outcome PutInPlace(const QString& newContent, const QString& target,
                   const std::function<bool(const QString&)>& askRetry) {
    const QString staging = StagingPathFor(target);
    for (;;) {
        const fileops::CopyResult r = fileops::CopyFile(newContent, staging);
        if (r == fileops::CopyResult::Ok) break;
        fileops::DeleteFile(staging);
        if (r != fileops::CopyResult::DiskFull) return Outcome::Failed;
        if (!askRetry || !askRetry(fileops::MountPointOf(target))) return Outcome::Cancelled;
    }
    // The result keeps the permission bits the target had.
    const QByteArray t = QFile::encodeName(target);
    const QByteArray s = QFile::encodeName(staging);
    struct stat st;
    if (::stat(t.constData(), &st) == 0) ::chmod(s.constData(), st.st_mode & 07777);
    // On disk before it takes the old file's name, so a crash cannot leave a
    // truncated target behind.
    const int fd = ::open(s.constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    if (std::rename(s.constData(), t.constData()) != 0) {
        fileops::DeleteFile(staging);
        return Outcome::Failed;
    }
    return Outcome::Placed;
}

}  // namespace replace
