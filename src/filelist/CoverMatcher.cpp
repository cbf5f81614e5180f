#include "filelist/CoverMatcher.h"

#include "filelist/FolderListing.h"
#include "platform/FileOps.h"

#include <QFile>

#include <sys/stat.h>

namespace intake {

void CoverMatcher::refresh(const QString& folder) {
    struct stat st;
    const bool ok = ::stat(QFile::encodeName(folder).constData(), &st) == 0;
    const long long mtime = ok ? static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec : -1;
    if (listed_ && folder == folder_ && ok && static_cast<unsigned long long>(st.st_dev) == device_ &&
        static_cast<unsigned long long>(st.st_ino) == inode_ && mtime == mtimeNs_)
        return;
    folder_ = folder;
    listed_ = ok;
    device_ = ok ? st.st_dev : 0;
    inode_ = ok ? st.st_ino : 0;
    mtimeNs_ = mtime;
    byFolded_.clear();
    if (!ok) return;
    if (const auto names = ListNames(folder))
        for (const QString& n : *names) byFolded_[n.toCaseFolded()] << n;
}

QString CoverMatcher::Find(const QString& folder, const QString& stem, const QStringList& exts) {
    refresh(folder);
    for (const QString& ext : exts) {
        const QString wanted = stem + QLatin1Char('.') + ext;
        const auto it = byFolded_.constFind(wanted.toCaseFolded());
        if (it == byFolded_.constEnd()) continue;
        // The joined path keeps the caption's own trailing "/" (a doubled
        // slash), as the rows will.
        const QString base = folder + QLatin1Char('/');
        if (it->contains(wanted) && fileops::IsOrdinaryFile(base + wanted)) return wanted;
        for (const QString& name : *it)
            if (fileops::IsOrdinaryFile(base + name)) return name;
    }
    return {};
}

}  // namespace intake
