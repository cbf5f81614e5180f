#include "batch/RunSources.h"

#include "batch/Containers.h"
#include "batch/OutputNaming.h"
#include "common/ProgramFiles.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString pathKey(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : canonical;
}

}  // namespace

void RunSources::Collect(const QStringList& sources, const QString& programFolder) {
    ids_.clear();
    paths_.clear();
    programFolder_ = fileops::IdOf(programFolder);
    for (const QString& source : sources) {
        if (const auto id = fileops::IdOf(source)) ids_.insert(*id);
        paths_.insert(pathKey(source));
    }
}

bool RunSources::Refused(const naming::RowPaths& paths) const {
    if (container::MechanismFor(paths.outputPath) == container::Mechanism::None) return true;
    // A work file's name in the program folder, as given or behind a link.
    const auto workFile = [&](const QString& path) {
        for (const QString& p : {path, QFileInfo(path).canonicalFilePath()})
            if (!p.isEmpty() && fileops::IdOf(fileops::FolderOf(p)) == programFolder_ &&
                workfiles::IsWorkFileName(fileops::NameOf(p)))
                return true;
        return false;
    };
    if (programFolder_ && (workFile(paths.sourceFile) || workFile(paths.outputPath))) return true;
    if (naming::SameFile(paths.outputPath, paths.sourceFile)) return false;
    const auto out = fileops::IdOf(paths.outputPath);
    return (out && ids_.count(*out)) || paths_.count(pathKey(paths.outputPath));
}
