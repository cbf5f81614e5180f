#pragma once
// Text rules of the intake paths: which files a filter keeps, how a row's
// picture name and a cover's stem are made, how a dialog's answer splits.
#include <QString>
#include <QStringList>
#include <vector>

namespace intake {

// Cover extensions in the order each path tries them.
const QStringList& AddCoverExtensions();   // jpg jpeg png gif bmp tif tiff
const QStringList& ScanCoverExtensions();  // jpg jpeg bmp png gif tif tiff

// The mp3 filters of the scan and of the add dialog.
extern const QString kMp3ScanFilter;
extern const QString kMp3DialogFilter;

// The scan keeps a file when "*" and the lower-cased text from the last dot of
// its path occur in the filter; a path without a dot is never kept.
bool ScanFilterKeeps(const QString& fullPath, const QString& filter);
// The drop keeps a file when its extension (the whole name without a dot)
// occurs anywhere in the filter, both lower-cased.
bool DropFilterKeeps(const QString& name, const QString& filter);

// The name up to its last dot; a name without a dot is its own stem.
QString StemOf(const QString& name);
// The picture a mode-4 row writes: the extension replaced by "jpg"; a name
// without a dot gets ".jpg" appended so the picture still carries its name.
QString PictureNameOf(const QString& videoName);

// A dialog's FileName text split at NUL: the folder, then the names.
QStringList SplitFileNameText(const QString& fileName);
// The files a multiple selection names, each with its own folder: a bare
// name lies in the first part's folder, a name with a "/" is a whole path.
// Empty names are skipped.
struct PickedFile {
    QString folder, name;
    QString Path() const { return folder + QLatin1Char('/') + name; }
};
std::vector<PickedFile> PickedFiles(const QString& fileName);

// Cells joined by tabs, the way rows enter the list.
QString RowText(const QStringList& cells);
// False when a cell holds a Tab (it would split the cell and shift the rest
// of the row), a CR or an LF: such a file is not listed.
bool CellsFitARow(const QStringList& cells);

}  // namespace intake
