#pragma once
// The cells of a row of the file list, in the grid's column order. Row 0 of
// the grid is the header; a data row is added as its cells joined by tabs.
#include <QString>

namespace filelist {

enum Column : int {
    ColFileName = 0,
    ColFolder = 1,
    ColWidth = 2,
    ColHeight = 3,
    ColPartnerFile = 4,  // base video, the row's cover, base cover, nothing or the video, by mode
    ColStatus = 5,
    ColumnCount = 6,
};

struct RowCells {
    QString fileName, folder, width, height, partnerFile, status;

    // The row's file: its folder, "/" and its name.
    QString Path() const { return folder + QLatin1Char('/') + fileName; }
};

}  // namespace filelist
