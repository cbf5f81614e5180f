#include "platform/OwnFiles.h"

#include "platform/FileOps.h"

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ownfiles {

namespace {

const char* const kMark = "user.plindor.own";
const char* const kRecord = ".plindor-own";

// A file's identity for the record: device, inode, and what tells a later
// file on the same inode apart where the file system keeps it (the inode's
// generation, its birth time).
QByteArray identityOf(const QByteArray& path) {
    struct statx sx;
    if (::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_TYPE | STATX_BTIME, &sx) != 0 ||
        !S_ISREG(sx.stx_mode))
        return {};
    const long long born =
        (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec * 1000000000LL + sx.stx_btime.tv_nsec : 0;
    unsigned int generation = 0;
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        if (::ioctl(fd, FS_IOC_GETVERSION, &generation) != 0) generation = 0;
        ::close(fd);
    }
    return QByteArray::number(static_cast<qulonglong>(::makedev(sx.stx_dev_major, sx.stx_dev_minor))) + '\t' +
           QByteArray::number(static_cast<qulonglong>(sx.stx_ino)) + '\t' + QByteArray::number(generation) + '\t' +
           QByteArray::number(born);
}

QString recordFor(const QString& path) { return fileops::FolderOf(path) + QLatin1Char('/') + kRecord; }

// The record's lines: name, tab, identity.
QList<QByteArray> readRecord(const QString& record) {
    const int fd = ::open(QFile::encodeName(record).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return {};
    QByteArray text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buf, static_cast<int>(n));
    }
    ::close(fd);
    QList<QByteArray> lines = text.split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

bool inRecord(const QString& path, const QByteArray& identity) {
    if (identity.isEmpty()) return false;
    const QByteArray line = QFile::encodeName(fileops::NameOf(path)) + '\t' + identity;
    return readRecord(recordFor(path)).contains(line);
}

// Writes the record anew with this file's line, keeping the lines of the
// files that are still what they were.
bool record(const QString& path, const QByteArray& identity) {
    const QString folder = fileops::FolderOf(path);
    const QByteArray name = QFile::encodeName(fileops::NameOf(path));
    QByteArray text;
    for (const QByteArray& line : readRecord(recordFor(path))) {
        const int tab = line.indexOf('\t');
        const QByteArray other = line.left(tab);
        if (tab <= 0 || other == name) continue;
        const QString otherPath = folder + QLatin1Char('/') + QFile::decodeName(other);
        if (identityOf(QFile::encodeName(otherPath)) == line.mid(tab + 1)) text += line + '\n';
    }
    text += name + '\t' + identity + '\n';
    const fileops::WorkFile w = fileops::CreateWorkFile(folder, {}, 0644);
    if (w.fd < 0) return false;
    bool ok = fileops::WriteAll(w.fd, text.constData(), text.size()) && fileops::Flush(w.fd);
    ok = ::close(w.fd) == 0 && ok;
    ok = ok && ::rename(QFile::encodeName(w.path).constData(), QFile::encodeName(recordFor(path)).constData()) == 0;
    if (!ok) fileops::DeleteFile(w.path);
    return ok;
}

}  // namespace

bool IsOwn(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    struct stat st;
    if (path.isEmpty() || ::lstat(p.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    char value[2];
    const ssize_t n = ::lgetxattr(p.constData(), kMark, value, sizeof value);
    if (n == 1 && value[0] == '1') return true;
    // Only where marks cannot be kept does the record speak.
    return n < 0 && errno == ENOTSUP && inRecord(path, identityOf(p));
}

bool Free(const QString& path) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return errno == ENOENT;
    return IsOwn(path) && fileops::DeleteFile(path);
}

bool Make(const QString& path) {
    const QByteArray p = QFile::encodeName(path);
    const int fd = ::open(p.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    bool marked = ::fsetxattr(fd, kMark, "1", 1, 0) == 0;
    if (!marked && errno == ENOTSUP) marked = record(path, identityOf(p));
    if (::close(fd) != 0 || !marked) {
        ::unlink(p.constData());
        return false;
    }
    return true;
}

}  // namespace ownfiles
