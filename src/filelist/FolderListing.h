#pragma once
// One folder's entries in the order the file system lists them, unsorted.
#include <QString>
#include <QStringList>
#include <optional>
#include <sys/types.h>

namespace intake {

struct FolderListing {
    QStringList files;    // regular files, links to them included
    QStringList folders;  // real subfolders; links to folders are not followed
    dev_t device = 0;     // identity of the folder itself, so a walk
    ino_t inode = 0;      // can tell when it comes back to one
};

// Names starting with "." (hidden) are left out, as are sockets, pipes and
// devices, which a probe could block on. Nothing when the folder cannot be opened.
std::optional<FolderListing> ListFolder(const QString& folder);

// Every entry name of the folder, hidden ones included, in listing order.
std::optional<QStringList> ListNames(const QString& folder);

}  // namespace intake
