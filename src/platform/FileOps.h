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
// Copies src into the open, empty file `to`.
CopyResult CopyInto(const QString& src, int to);

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
// (".plw-", six random characters and `suffix`, such as the extension a
// writer goes by), created exclusively: a file or link already there is
// never opened or followed. `mode` goes through the umask and the folder's
// default ACL as for any new file; by default only its owner may read it.
struct WorkFile {
    int fd = -1;  // open for reading and writing; -1 when nothing could be created
    QString path;
};
WorkFile CreateWorkFile(const QString& folder, const QString& suffix = {}, unsigned mode = 0600);

// What a path names and what the file held at one moment: a file replaced,
// rewritten or deleted since then has another stamp (or none).
struct FileStamp {
    unsigned long long device = 0, inode = 0, links = 0;
    long long size = 0, modifiedNs = 0;
    bool SameFile(const FileStamp& o) const {
        return device == o.device && inode == o.inode && size == o.size && modifiedNs == o.modifiedNs;
    }
};
// followLinks false stamps a link itself.
std::optional<FileStamp> StampOf(const QString& path, bool followLinks = true);

// The file's data on disk; false when the device reports an error.
bool Flush(int fd);
// The folder's entries (a new name, a rename) on disk; false on an error.
bool SyncFolder(const QString& folder);
// Empties a regular file (never through a link); false when it cannot.
bool Truncate(const QString& path);

// Gives the open file `to` everything of `from` that says who may do what
// with it: owner and group, permission bits and every extended attribute
// (POSIX ACLs included), and nothing more. The owner is kept where it may be
// set; a group that cannot be kept fails unless it had no access. False when
// the file would end up allowing anyone more than `from` did.
bool TakeAttributes(const QString& from, int to);

// Renames without replacing: false (EEXIST) when `to` exists.
bool RenameNoReplace(const QString& from, const QString& to);
enum class Swap { Done, Unsupported, Failed };
// Swaps two names atomically; Unsupported where the file system cannot.
Swap Exchange(const QString& a, const QString& b);

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
