#include "batch/SourceReplace.h"

#include "platform/FileOps.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

namespace {

// The target's permission bits, and its owner where we may set it; errors
// leave the work file's own.
void takeOver(const QByteArray& file, const QByteArray& target) {
    struct stat st;
    if (::stat(target.constData(), &st) != 0) return;
    ::chmod(file.constData(), st.st_mode & 07777);
    struct stat mine;
    if (::stat(file.constData(), &mine) == 0 && (mine.st_uid != st.st_uid || mine.st_gid != st.st_gid))
        (void)!::chown(file.constData(), st.st_uid, st.st_gid);
}

// On disk before it takes the old file's name, so a crash cannot leave a
// truncated target behind.
void flush(const QByteArray& file) {
    const int fd = ::open(file.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::fdatasync(fd);
    ::close(fd);
}

bool sameFileSystem(const QByteArray& file, const QString& targetFolder) {
    struct stat a, b;
    const QByteArray folder = QFile::encodeName(targetFolder.isEmpty() ? QStringLiteral("/") : targetFolder);
    return ::stat(file.constData(), &a) == 0 && ::stat(folder.constData(), &b) == 0 && a.st_dev == b.st_dev;
}

}  // namespace

std::optional<QString> FileBehind(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    struct stat st;
    if (::lstat(p.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    char* resolved = ::realpath(p.constData(), nullptr);
    if (!resolved) return std::nullopt;
    const QString file = QFile::decodeName(resolved);
    std::free(resolved);
    if (::stat(QFile::encodeName(file).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return file;
}

Outcome PutInPlace(const QString& newContent, const QString& linkOrTarget,
                   const std::function<bool(const QString&)>& askRetry) {
    const std::optional<QString> followed = FileBehind(linkOrTarget);
    if (!followed) return Outcome::Failed;
    const QString& target = *followed;
    const QByteArray t = QFile::encodeName(target);
    const QByteArray n = QFile::encodeName(newContent);
    if (sameFileSystem(n, fileops::FolderOf(target))) {
        takeOver(n, t);
        flush(n);
        if (std::rename(n.constData(), t.constData()) == 0) return Outcome::Placed;
        if (errno != EXDEV) return Outcome::Failed;
    }

    const QString staging = StagingPathFor(target);
    for (;;) {
        const fileops::CopyResult r = fileops::CopyFile(newContent, staging);
        if (r == fileops::CopyResult::Ok) break;
        fileops::DeleteFile(staging);
        if (r != fileops::CopyResult::DiskFull) return Outcome::Failed;
        if (!askRetry || !askRetry(fileops::MountPointOf(target))) return Outcome::Cancelled;
    }
    const QByteArray s = QFile::encodeName(staging);
    takeOver(s, t);
    flush(s);
    if (std::rename(s.constData(), t.constData()) != 0) {
        fileops::DeleteFile(staging);
        return Outcome::Failed;
    }
    return Outcome::Placed;
}

}  // namespace replace
