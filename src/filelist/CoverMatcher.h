#pragma once
// Finds the cover picture named like a video in a cover folder. Names are
// compared without regard to case, so a.mp4 finds a.PNG; the name comes back
// as the folder lists it.
#include <QHash>
#include <QString>
#include <QStringList>

namespace intake {

class CoverMatcher {
public:
    // The name of the first ordinary file stem + "." + ext in folder, trying
    // exts in their order; "" when none exists. Where several names differ
    // only in case, the exact spelling wins, else the first listed.
    QString Find(const QString& folder, const QString& stem, const QStringList& exts);

private:
    void refresh(const QString& folder);

    // One listing serves a whole scan; it is read again when the folder or
    // its modification time changes.
    QString folder_;
    bool listed_ = false;
    unsigned long long device_ = 0, inode_ = 0;
    long long mtimeNs_ = -1;
    QHash<QString, QStringList> byFolded_;
};

}  // namespace intake
