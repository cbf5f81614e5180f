#include "batch/SourceReplace.h"

#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

namespace replace {

QString DiskFullText(const QString& mountPoint) {
    return mountPoint + QStringLiteral("盘磁盘空间不足，请释放空间后重试保存！");
}

namespace {

bool sameFileSystem(const QByteArray& file, const QString& targetFolder) {
    struct stat a, b;
    const QByteArray folder = QFile::encodeName(targetFolder.isEmpty() ? QStringLiteral("/") : targetFolder);
    return ::stat(file.constData(), &a) == 0 && ::stat(folder.constData(), &b) == 0 && a.st_dev == b.st_dev;
}

// The path still names the file the row read, and that file no other name.
bool stillRead(const QString& path, const fileops::FileStamp& read) {
    const auto now = fileops::StampOf(path, false);
    return now && now->SameFile(read) && now->links == 1;
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

Outcome PutInPlace(const QString& newContent, const QString& linkOrTarget, const fileops::FileStamp& read,
                   const std::function<bool(const QString&)>& askRetry) {
    const std::optional<QString> followed = FileBehind(linkOrTarget);
    if (!followed) return Outcome::Failed;
    const QString& target = *followed;
    const QString folder = fileops::FolderOf(target);
    if (!stillRead(target, read)) return Outcome::Failed;

    // The result beside the target under a name of its own: moved on one
    // file system, copied from another.
    fileops::WorkFile work = fileops::CreateWorkFile(folder);
    if (work.fd < 0) return Outcome::Failed;
    const QByteArray n = QFile::encodeName(newContent);
    bool moved = false;
    if (sameFileSystem(n, folder)) {
        // Renamed over the empty work file; a bind mount between them
        // (EXDEV) takes the copy below.
        const bool renamed = std::rename(n.constData(), QFile::encodeName(work.path).constData()) == 0;
        if (renamed || errno != EXDEV) {
            ::close(work.fd);
            work.fd = renamed ? ::open(QFile::encodeName(work.path).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC) : -1;
            if (work.fd < 0) {
                fileops::DeleteFile(work.path);
                return Outcome::Failed;
            }
            moved = true;
        }
    }
    while (!moved) {
        const fileops::CopyResult r = fileops::CopyInto(newContent, work.fd);
        if (r == fileops::CopyResult::Ok) break;
        ::close(work.fd);
        fileops::DeleteFile(work.path);
        if (r != fileops::CopyResult::DiskFull) return Outcome::Failed;
        if (!askRetry || !askRetry(fileops::MountPointOf(target))) return Outcome::Cancelled;
        work = fileops::CreateWorkFile(folder);
        if (work.fd < 0) return Outcome::Failed;
    }

    bool ok = fileops::TakeAttributes(target, work.fd) && fileops::Flush(work.fd);
    ok = ::close(work.fd) == 0 && ok;
    if (!ok || !stillRead(target, read)) {
        fileops::DeleteFile(work.path);
        return Outcome::Failed;
    }
    switch (fileops::Exchange(work.path, target)) {
    case fileops::Swap::Done:
        // What came out must be the file read, and the swap on disk; else
        // the file that was there goes back.
        if (!stillRead(work.path, read) || !fileops::SyncFolder(folder)) {
            if (fileops::Exchange(work.path, target) == fileops::Swap::Done) fileops::DeleteFile(work.path);
            return Outcome::Failed;
        }
        fileops::DeleteFile(work.path);  // the old file
        return Outcome::Placed;
    case fileops::Swap::Unsupported:
        if (std::rename(QFile::encodeName(work.path).constData(), QFile::encodeName(target).constData()) != 0) {
            fileops::DeleteFile(work.path);
            return Outcome::Failed;
        }
        return fileops::SyncFolder(folder) ? Outcome::Placed : Outcome::Failed;
    case fileops::Swap::Failed:
        break;
    }
    fileops::DeleteFile(work.path);
    return Outcome::Failed;
}

Outcome PutNew(const QString& newContent, const QString& target) {
    const int fd = ::open(QFile::encodeName(newContent).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return Outcome::Failed;
    bool ok = fileops::Flush(fd);
    ok = ::close(fd) == 0 && ok;
    if (!ok || !fileops::RenameNoReplace(newContent, target)) return Outcome::Failed;
    if (fileops::SyncFolder(fileops::FolderOf(target))) return Outcome::Placed;
    // Not on disk: it goes back under its work name, for the caller to drop.
    fileops::RenameNoReplace(target, newContent);
    return Outcome::Failed;
}

}  // namespace replace
