#pragma once
// The files a run's rows read, so that no row writes over one of them.
#include "platform/FileOps.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <set>

namespace naming {
struct RowPaths;
}

class RunSources {
public:
    // The run's sources as they stand when its first row starts, and the
    // program's folder.
    void Collect(const QStringList& sources, const QString& programFolder);
    // A row whose target cannot carry a cover, whose output would replace
    // the source of another row of the run, or whose source or output is one
    // of the program's work files, is refused before it writes. Its own
    // source goes through the work file.
    bool Refused(const naming::RowPaths& paths) const;

private:
    // By identity (links) and by path (a source replaced in place is a new
    // file under its old name).
    std::set<fileops::FileId> ids_;
    std::set<QString> paths_;
    std::optional<fileops::FileId> programFolder_;
};
