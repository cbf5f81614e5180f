#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <mntent.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <limits>
#include <map>
#include <vector>

namespace fileops {

bool IsOrdinaryFile(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    return info.isFile() && !info.fileName().startsWith('.');
}

bool FolderExists(const QString& path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

bool Exists(const QString& path) { return !path.isEmpty() && QFileInfo::exists(path); }

long long FileSize(const QString& path) {
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0) return -1;
    if (!S_ISREG(st.st_mode)) return -1;
    return static_cast<long long>(st.st_size);
}

std::optional<FileId> IdOf(const QString& path) {
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return FileId{static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino)};
}

void StartWriteback(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    ::close(fd);
}

bool DeleteFile(const QString& path) {
    if (path.isEmpty()) return true;
    const QByteArray p = QFile::encodeName(path);
    if (::unlink(p.constData()) == 0) return true;
    return errno == ENOENT;
}

bool MakePath(const QString& path) { return QDir().mkpath(path) && QFileInfo(path).isDir(); }

namespace {

CopyResult writeFailure() { return errno == ENOSPC || errno == EDQUOT ? CopyResult::DiskFull : CopyResult::Failed; }

// Everything from `in` to `out`.
CopyResult copyAll(int in, int out) {
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0) return CopyResult::Ok;
        if (n < 0) {
            if (errno == EINTR) continue;
            return CopyResult::Failed;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                return writeFailure();
            }
            done += w;
        }
    }
}

int openRegular(const QString& src, struct stat& st) {
    const int in = ::open(QFile::encodeName(src).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return -1;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return -1;
    }
    return in;
}

}  // namespace

CopyResult CopyFile(const QString& src, const QString& dst) {
    struct stat st;
    const int in = openRegular(src, st);
    if (in < 0) return CopyResult::SourceMissing;
    const int out = ::open(QFile::encodeName(dst).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        const CopyResult r = writeFailure();
        ::close(in);
        return r;
    }
    CopyResult result = copyAll(in, out);
    ::fchmod(out, st.st_mode & 07777);
    if (::close(out) != 0 && result == CopyResult::Ok) result = writeFailure();
    ::close(in);
    return result;
}

CopyResult CopyInto(const QString& src, int to) {
    struct stat st;
    const int in = openRegular(src, st);
    if (in < 0) return CopyResult::SourceMissing;
    const CopyResult result = copyAll(in, to);
    ::close(in);
    return result;
}

Pread::Pread(const QString& path) : fd_(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC)) {
    struct stat st;
    if (fd_ >= 0 && ::fstat(fd_, &st) == 0) size_ = st.st_size;
}

Pread::~Pread() {
    if (fd_ >= 0) ::close(fd_);
}

bool Pread::read(long long at, long long n, unsigned char* to) {
    if (at < 0 || n < 0 || at + n > size_) return false;
    while (n > 0) {
        const ssize_t got = ::pread(fd_, to, static_cast<size_t>(n), at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            intact_ = false;
            return false;
        }
        to += got;
        at += got;
        n -= got;
    }
    return true;
}

QByteArray Pread::bytes(long long at, long long n) {
    if (at < 0 || n < 0 || at + n > size_ || n > std::numeric_limits<int>::max()) return {};
    QByteArray b(static_cast<int>(n), Qt::Uninitialized);
    return read(at, n, reinterpret_cast<unsigned char*>(b.data())) ? b : QByteArray();
}

WorkFile CreateWorkFile(const QString& folder, const QString& suffix, unsigned mode) {
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray base = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
    if (!base.endsWith('/')) base += '/';
    base += ".plw-";
    const QByteArray tail = QFile::encodeName(suffix);
    WorkFile w;
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6];
        if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return w;
        QByteArray name = base;
        for (unsigned char r : random) name += letters[r % 62];
        name += tail;
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            w.fd = fd;
            w.path = QFile::decodeName(name);
            return w;
        }
        if (errno != EEXIST) return w;
    }
    return w;
}

std::optional<FileStamp> StampOf(const QString& path, bool followLinks) {
    struct stat st;
    if (path.isEmpty()) return std::nullopt;
    const QByteArray p = QFile::encodeName(path);
    if ((followLinks ? ::stat(p.constData(), &st) : ::lstat(p.constData(), &st)) != 0) return std::nullopt;
    FileStamp s;
    s.device = st.st_dev;
    s.inode = st.st_ino;
    s.links = st.st_nlink;
    s.size = st.st_size;
    s.modifiedNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return s;
}

bool Flush(int fd) {
    for (;;) {
        if (::fdatasync(fd) == 0) return true;
        if (errno != EINTR) return false;
    }
}

bool SyncFolder(const QString& folder) {
    const QByteArray f = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
    const int fd = ::open(f.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    int rc;
    do rc = ::fsync(fd);
    while (rc != 0 && errno == EINTR);
    // Some file systems cannot sync a folder at all: that is no write error.
    const bool ok = rc == 0 || errno == EINVAL || errno == ENOTSUP;
    ::close(fd);
    return ok;
}

bool Truncate(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) == 0;
    return ::close(fd) == 0 && ok;
}

namespace {

using Attributes = std::map<QByteArray, QByteArray>;

// Every extended attribute of a file (by path, not through a link, or by
// descriptor); none where the file system keeps none.
std::optional<Attributes> attributesOf(const QByteArray& path, int fd) {
    const auto list = [&](char* to, size_t n) {
        return path.isEmpty() ? ::flistxattr(fd, to, n) : ::llistxattr(path.constData(), to, n);
    };
    const auto get = [&](const char* name, void* to, size_t n) {
        return path.isEmpty() ? ::fgetxattr(fd, name, to, n) : ::lgetxattr(path.constData(), name, to, n);
    };
    Attributes out;
    QByteArray names;
    for (;;) {
        const ssize_t n = list(nullptr, 0);
        if (n < 0) {
            if (errno == ENOTSUP) return out;
            return std::nullopt;
        }
        names.resize(static_cast<int>(n));
        const ssize_t got = list(names.data(), static_cast<size_t>(names.size()));
        if (got >= 0) {
            names.resize(static_cast<int>(got));
            break;
        }
        if (errno != ERANGE) return std::nullopt;
    }
    for (const QByteArray& name : names.split('\0')) {
        if (name.isEmpty()) continue;
        QByteArray value;
        for (;;) {
            const ssize_t n = get(name.constData(), nullptr, 0);
            if (n < 0) return std::nullopt;
            value.resize(static_cast<int>(n));
            const ssize_t got = get(name.constData(), value.data(), static_cast<size_t>(value.size()));
            if (got >= 0) {
                value.resize(static_cast<int>(got));
                break;
            }
            if (errno != ERANGE) return std::nullopt;
        }
        out[name] = value;
    }
    return out;
}

}  // namespace

bool TakeAttributes(const QString& from, int to) {
    const QByteArray f = QFile::encodeName(from);
    struct stat want, mine;
    if (::lstat(f.constData(), &want) != 0 || !S_ISREG(want.st_mode) || ::fstat(to, &mine) != 0) return false;
    const std::optional<Attributes> wanted = attributesOf(f, -1);
    if (!wanted) return false;
    // Before the attributes: a change of owner drops some of them.
    if ((mine.st_uid != want.st_uid || mine.st_gid != want.st_gid) && ::fchown(to, want.st_uid, want.st_gid) != 0)
        (void)!::fchown(to, static_cast<uid_t>(-1), want.st_gid);
    const std::optional<Attributes> had = attributesOf({}, to);
    if (!had) return false;
    // A default ACL of the folder, or a mark of ours, must not stay.
    for (const auto& [name, value] : *had)
        if (!wanted->count(name) && ::fremovexattr(to, name.constData()) != 0 && errno != ENODATA) return false;
    for (const auto& [name, value] : *wanted) {
        const auto it = had->find(name);
        if (it != had->end() && it->second == value) continue;
        if (::fsetxattr(to, name.constData(), value.constData(), static_cast<size_t>(value.size()), 0) != 0)
            return false;
    }
    if (::fchmod(to, want.st_mode & 07777) != 0 || ::fstat(to, &mine) != 0) return false;
    const std::optional<Attributes> has = attributesOf({}, to);
    if (!has || *has != *wanted || (mine.st_mode & 07777) != (want.st_mode & 07777)) return false;
    // Another group may read the file only where the old one could not.
    return mine.st_gid == want.st_gid || ((want.st_mode & 070) == 0 && !wanted->count("system.posix_acl_access"));
}

bool RenameNoReplace(const QString& from, const QString& to) {
    const QByteArray f = QFile::encodeName(from);
    const QByteArray t = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, f.constData(), AT_FDCWD, t.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without it: a second name, then the first goes.
    if (::link(f.constData(), t.constData()) == 0) {
        ::unlink(f.constData());
        return true;
    }
    return false;
}

Swap Exchange(const QString& a, const QString& b) {
    if (::renameat2(AT_FDCWD, QFile::encodeName(a).constData(), AT_FDCWD, QFile::encodeName(b).constData(),
                    RENAME_EXCHANGE) == 0)
        return Swap::Done;
    return errno == EINVAL || errno == ENOSYS ? Swap::Unsupported : Swap::Failed;
}

bool WriteAll(int fd, const char* data, long long n) {
    while (n > 0) {
        const ssize_t put = ::write(fd, data, static_cast<size_t>(std::min<long long>(n, 1 << 30)));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data += put;
        n -= put;
    }
    return true;
}

bool CopyRange(Pread& from, long long at, long long n, int to) {
    std::vector<unsigned char> buffer(1 << 20);
    while (n > 0) {
        const long long piece = std::min<long long>(n, static_cast<long long>(buffer.size()));
        if (!from.read(at, piece, buffer.data()) ||
            !WriteAll(to, reinterpret_cast<const char*>(buffer.data()), piece))
            return false;
        at += piece;
        n -= piece;
    }
    return true;
}

QString FolderOf(const QString& path) {
    const int i = path.lastIndexOf('/');
    return i < 0 ? QString() : path.left(i);
}

QString NameOf(const QString& path) {
    const int i = path.lastIndexOf('/');
    return i < 0 ? path : path.mid(i + 1);
}

QString MountPointOf(const QString& path) {
    QString probe = QFileInfo(path).absoluteFilePath();
    while (!probe.isEmpty() && !QFileInfo::exists(probe)) probe = QFileInfo(probe).absolutePath();
    const QByteArray canon = QFile::encodeName(QFileInfo(probe).canonicalFilePath());
    QString best = "/";
    FILE* f = ::setmntent("/proc/self/mounts", "r");
    if (!f) return best;
    size_t bestLen = 1;
    while (struct mntent* m = ::getmntent(f)) {
        const size_t len = std::strlen(m->mnt_dir);
        const bool under = std::strncmp(canon.constData(), m->mnt_dir, len) == 0 &&
                           (canon.size() == static_cast<int>(len) || canon.at(static_cast<int>(len)) == '/' || len == 1);
        if (under && len >= bestLen) {
            best = QString::fromLocal8Bit(m->mnt_dir);
            bestLen = len;
        }
    }
    ::endmntent(f);
    return best;
}

}  // namespace fileops
