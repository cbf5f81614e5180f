#include "filelist/FolderListing.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace intake {

namespace {

// Closes the directory stream on every way out.
struct DirCloser {
    DIR* d;
    ~DirCloser() {
        if (d) ::closedir(d);
    }
};

bool isDotOrDotDot(const char* n) { return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)); }

}  // namespace

std::optional<FolderListing> ListFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    DIR* d = ::opendir(path.constData());
    if (!d) return std::nullopt;
    DirCloser closer{d};
    FolderListing out;
    struct stat self;
    if (::fstat(::dirfd(d), &self) == 0) {
        out.device = self.st_dev;
        out.inode = self.st_ino;
    }
    while (struct dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.') continue;  // hidden, and "." / ".."
        bool isFile = e->d_type == DT_REG;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_LNK) {
            struct stat st;
            isFile = ::fstatat(::dirfd(d), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        } else if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            if (::fstatat(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
                isDir = S_ISDIR(st.st_mode);
                isFile = S_ISREG(st.st_mode);
                if (S_ISLNK(st.st_mode))
                    isFile = ::fstatat(::dirfd(d), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
            }
        }
        if (isFile) out.files << QFile::decodeName(e->d_name);
        else if (isDir) out.folders << QFile::decodeName(e->d_name);
    }
    return out;
}

std::optional<QStringList> ListNames(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    DIR* d = ::opendir(path.constData());
    if (!d) return std::nullopt;
    DirCloser closer{d};
    QStringList names;
    while (struct dirent* e = ::readdir(d))
        if (!isDotOrDotDot(e->d_name)) names << QFile::decodeName(e->d_name);
    return names;
}

}  // namespace intake
