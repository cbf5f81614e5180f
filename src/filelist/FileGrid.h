#pragma once
// The file list grid: a table with a fixed header row 0 and the row/selection
// members of a flex grid. Grid row n is table row n - 1.
#include "filelist/FileColumns.h"

#include <QTableWidget>

class FileGrid : public QTableWidget {
    Q_OBJECT
public:
    using Column = filelist::Column;
    static constexpr int kCols = filelist::ColumnCount;
    explicit FileGrid(QWidget* parent = nullptr);

    int Rows() const { return rowCount() + 1; }
    // Keeps only the header row when n is 1.
    void SetRows(int n);
    int Cols() const { return kCols; }

    int Row() const { return row_; }
    int Col() const { return col_; }
    int RowSel() const { return rowSel_; }
    int ColSel() const { return colSel_; }
    // Setting the current row (or column) collapses the selection onto it.
    void SetRow(int r);
    void SetCol(int c);
    void SetRowSel(int r);
    void SetColSel(int c);
    int TopRow() const;
    // Data rows that fit in the grid's view whole (at least 1).
    int VisibleRows() const;
    // False when the grid refuses the row (no such data row).
    bool SetTopRow(int r);

    QString TextMatrix(int row, int col) const;
    void SetTextMatrix(int row, int col, const QString& text);
    // Every cell of a data row (empty cells for a row that does not exist).
    filelist::RowCells Cells(int row) const;
    // Appends one row from tab-separated cells.
    void AddItem(const QString& tabText);
    // Removes a data row; refuses (false) to remove the last remaining one.
    bool RemoveItem(int row);

    void SetColWidthTwips(int col, int twips);

    // The drop mode set on drag-over: 1 lets drops through to DroppedFiles.
    int OLEDropMode = 0;

Q_SIGNALS:
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void KeyDown(int keyCode, Qt::KeyboardModifiers shift);
    void DblClick();
    void DragOver();
    void DroppedFiles(const QStringList& paths);

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    void showSelection();
    void takeUserSelection();

    int row_ = 0, col_ = 0, rowSel_ = 0, colSel_ = 0;
    int topRow_ = 1;
    bool syncing_ = false;
};
