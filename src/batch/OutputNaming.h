#pragma once
// Which file a row reads, which cover it gets and where its result goes.
#include <QString>

namespace naming {

// The text of a file name up to its last "."; the whole name when it has none.
QString StemOf(const QString& name);
// The file name's text from its last "." on, the dot included; "" when the
// name has no "." (a dot in a folder name does not count).
QString ExtensionOf(const QString& path);
// Mode 0's stem of the base video named by LBase's caption.
QString BaseStemOf(const QString& baseCaption);
// The program folder's work output for a source: ".../Tmp" + its extension.
QString TempOutputFile(const QString& programFolder, const QString& sourceFile);

struct PathInputs {
    int mode = 0;
    // The row's cells.
    QString fileName, folder, partnerFile;
    int currentRow = 0;
    QString baseCaption;  // LBase
    QString outputDir;    // LDir
    QString baseStem;     // mode 0
    bool chNum = false;
    bool chSaveAs = false;
    QString grabbedFrameFile;  // mode 3
};

struct RowPaths {
    QString sourceFile, coverFile, outputPath;
};

// The three paths of a row in modes 0 to 3 (empty in mode 4).
RowPaths ChoosePaths(const PathInputs& in);

// Whether two paths name the same file: equal once made absolute and cleaned
// ("//" joins, "." parts), or the same file on disk (links, bind mounts).
bool SameFile(const QString& a, const QString& b);

}  // namespace naming
