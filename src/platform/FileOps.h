#pragma once
// File tests and operations. Paths use "/"; errors come back as plain results.
#include <QByteArray>
#include <QString>
#include <optional>

namespace fileops {

// A regular file (a link to one counts) whose name does not begin with ".".
bool IsOrdinaryFile(const QString& path);
// An existing folder.
bool FolderExists(const QString& path);
// An existing file or folder, hidden ones included.
bool Exists(const QString& path);
// Size in bytes; -1 when it cannot be read.
long long FileSize(const QString& path);
// Starts writing the file's changed pages to disk without waiting for them,
// so that a later flush has little left to do.
void StartWriteback(const QString& path);

// True when the file is gone afterwards (or was never there).
bool DeleteFile(const QString& path);
// Creates the folder and every missing level; true when it exists afterwards.
bool MakePath(const QString& path);

// A file's identity on its device; nothing when it does not exist.
struct FileId {
    unsigned long long device = 0, inode = 0;
    bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
    bool operator!=(const FileId& o) const { return !(*this == o); }
    bool operator<(const FileId& o) const { return device != o.device ? device < o.device : inode < o.inode; }
};
std::optional<FileId> IdOf(const QString& path);

enum class CopyResult { Ok, SourceMissing, DiskFull, Failed };
// Copies src over dst (replacing it), keeping the permission bits.
CopyResult CopyFile(const QString& src, const QString& dst);

// A file read through pread at stated offsets: a file cut short while it is
// read gives a short read, which the reader reports, never a fault.
class Pread {
public:
    explicit Pread(const QString& path);
    ~Pread();
    Pread(const Pread&) = delete;
    Pread& operator=(const Pread&) = delete;

    bool opened() const { return fd_ >= 0 && size_ >= 0; }
    // The size when it was opened: what the file must still hold at the end.
    long long size() const { return size_; }
    // False once a read fell short of what the file held when opened.
    bool intact() const { return intact_; }

    // Exactly n bytes at `at` into `to`; false (and not intact) when fewer came.
    bool read(long long at, long long n, unsigned char* to);
    QByteArray bytes(long long at, long long n);

private:
    int fd_ = -1;
    long long size_ = -1;
    bool intact_ = true;
};

// A new, empty file in `folder` under a short name no one can guess
// (".plw-" and six random characters), created exclusively: a file or link
// already there is never opened or followed. Only its owner may read it.
struct WorkFile {
    int fd = -1;  // open for writing; -1 when nothing could be created
    QString path;
};
WorkFile CreateWorkFile(const QString& folder);

// All n bytes to the descriptor; false when a write fails.
bool WriteAll(int fd, const char* data, long long n);
// Bytes [at, at + n) of `from` appended to the descriptor `to`; false when
// `from` holds fewer or a write fails.
bool CopyRange(Pread& from, long long at, long long n, int to);

// "/" joins: the folder of a path (text before the last "/"; "" for "/a")
// and the name (text after it).
QString FolderOf(const QString& path);
QString NameOf(const QString& path);
// The mount point of the file system that holds path.
QString MountPointOf(const QString& path);

}  // namespace fileops
