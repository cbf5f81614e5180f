#include "batch/OutputNaming.h"

#include "common/ProgramFiles.h"
#include "options/ProcessingMode.h"
#include "platform/FileOps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <sys/stat.h>

namespace naming {

QString StemOf(const QString& name) {
    const int dot = name.lastIndexOf('.');
    return dot < 0 ? name : name.left(dot);
}

QString ExtensionOf(const QString& path) {
    const QString name = fileops::NameOf(path);
    const int dot = name.lastIndexOf('.');
    return dot < 0 ? QString() : name.mid(dot);
}

QString BaseStemOf(const QString& baseCaption) { return StemOf(fileops::NameOf(baseCaption)); }

QString TempOutputFile(const QString& programFolder, const QString& sourceFile) {
    return workfiles::In(programFolder, workfiles::TempOutput) + ExtensionOf(sourceFile);
}

RowPaths ChoosePaths(const PathInputs& in) {
    RowPaths p;
    const QString stem = StemOf(in.fileName);
    switch (in.mode) {
    case SeriesFromOneVideo: {
        p.sourceFile = in.baseCaption;
        p.coverFile = in.folder + "/" + in.fileName;
        const QString ext = ExtensionOf(p.sourceFile);
        p.outputPath = in.chNum ? in.outputDir + "/" + in.baseStem + "(" + QString::number(in.currentRow) + ")" + ext
                                : in.outputDir + "/" + in.baseStem + "_" + stem + ext;
        break;
    }
    case OneCoverPerVideo:
        p.sourceFile = in.folder + "/" + in.fileName;
        p.coverFile = in.partnerFile;
        p.outputPath = in.chSaveAs ? in.outputDir + "/" + stem + "_" + StemOf(fileops::NameOf(p.coverFile)) +
                                         ExtensionOf(p.sourceFile)
                                   : in.folder + "/" + stem + ExtensionOf(p.sourceFile);
        break;
    case OneCoverForAllVideos:
    case FrameAsCover:
        p.sourceFile = in.folder + "/" + in.fileName;
        p.coverFile = in.mode == FrameAsCover ? in.grabbedFrameFile : in.baseCaption;
        p.outputPath = (in.chSaveAs ? in.outputDir : in.folder) + "/" + stem + ExtensionOf(p.sourceFile);
        break;
    default:
        break;
    }
    return p;
}

bool SameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty()) return false;
    if (QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath()))
        return true;
    struct stat sa, sb;
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 || ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace naming
