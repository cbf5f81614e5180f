#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <mntent.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <limits>
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

CopyResult CopyFile(const QString& src, const QString& dst) {
    const QByteArray s = QFile::encodeName(src);
    const QByteArray d = QFile::encodeName(dst);
    const int in = ::open(s.constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return CopyResult::SourceMissing;
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return CopyResult::SourceMissing;
    }
    const int out = ::open(d.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777);
    if (out < 0) {
        const int e = errno;
        ::close(in);
        return e == ENOSPC || e == EDQUOT ? CopyResult::DiskFull : CopyResult::Failed;
    }
    CopyResult result = CopyResult::Ok;
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            result = CopyResult::Failed;
            break;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                result = (errno == ENOSPC || errno == EDQUOT) ? CopyResult::DiskFull : CopyResult::Failed;
                break;
            }
            done += w;
        }
        if (result != CopyResult::Ok) break;
    }
    ::fchmod(out, st.st_mode & 07777);
    if (::close(out) != 0 && result == CopyResult::Ok)
        result = (errno == ENOSPC || errno == EDQUOT) ? CopyResult::DiskFull : CopyResult::Failed;
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

WorkFile CreateWorkFile(const QString& folder) {
    QByteArray name = QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder);
    if (!name.endsWith('/')) name += '/';
    name += ".plw-XXXXXX";
    WorkFile w;
    w.fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (w.fd >= 0) w.path = QFile::decodeName(name);
    return w;
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
