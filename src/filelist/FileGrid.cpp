#include "filelist/FileGrid.h"

#include <QDragEnterEvent>
#include <QHeaderView>
#include <QItemSelection>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>

FileGrid::FileGrid(QWidget* parent) : QTableWidget(0, kCols, parent) {
    verticalHeader()->hide();
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setWordWrap(false);
    for (int c = 0; c < kCols; ++c) setHorizontalHeaderItem(c, new QTableWidgetItem(QString()));
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { takeUserSelection(); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { takeUserSelection(); });
    // The user's own scrolling moves the top row too.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        if (!syncing_) topRow_ = v + 1;
    });
}

void FileGrid::SetRows(int n) {
    if (n < 1) n = 1;
    syncing_ = true;
    setRowCount(n - 1);
    syncing_ = false;
    if (row_ > n - 1) row_ = n - 1;
    if (rowSel_ > n - 1) rowSel_ = n - 1;
    if (row_ < 1 && n > 1) row_ = 1;
    if (n == 1) row_ = rowSel_ = 0;
    if (topRow_ > n - 1) topRow_ = 1;
    showSelection();
}

void FileGrid::SetRow(int r) {
    if (r < 0 || r >= Rows()) return;
    row_ = rowSel_ = r;
    colSel_ = col_;
    showSelection();
}

void FileGrid::SetCol(int c) {
    if (c < 0 || c >= kCols) return;
    col_ = colSel_ = c;
    rowSel_ = row_;
    showSelection();
}

void FileGrid::SetRowSel(int r) {
    if (r < 0 || r >= Rows()) return;
    rowSel_ = r;
    showSelection();
}

void FileGrid::SetColSel(int c) {
    if (c < 0 || c >= kCols) return;
    colSel_ = c;
    showSelection();
}

int FileGrid::TopRow() const { return std::max(1, std::min(topRow_, Rows() - 1)); }

int FileGrid::VisibleRows() const {
    const int rowHeight = rowCount() > 0 ? this->rowHeight(0) : verticalHeader()->defaultSectionSize();
    if (rowHeight <= 0) return 1;
    // The header row stands in the view's margin, not in the viewport.
    return std::max(1, viewport()->height() / rowHeight);
}

bool FileGrid::SetTopRow(int r) {
    if (r < 1 || r >= Rows()) return false;
    topRow_ = r;
    syncing_ = true;
    verticalScrollBar()->setValue(r - 1);
    syncing_ = false;
    return true;
}

QString FileGrid::TextMatrix(int row, int col) const {
    if (col < 0 || col >= kCols) return {};
    if (row == 0) {
        const auto* h = horizontalHeaderItem(col);
        return h ? h->text() : QString();
    }
    const auto* it = item(row - 1, col);
    return it ? it->text() : QString();
}

void FileGrid::SetTextMatrix(int row, int col, const QString& text) {
    if (col < 0 || col >= kCols || row < 0 || row >= Rows()) return;
    if (row == 0) {
        horizontalHeaderItem(col)->setText(text);
        return;
    }
    auto* it = item(row - 1, col);
    if (!it) setItem(row - 1, col, it = new QTableWidgetItem);
    it->setText(text);
}

filelist::RowCells FileGrid::Cells(int row) const {
    using namespace filelist;
    return {TextMatrix(row, ColFileName), TextMatrix(row, ColFolder),      TextMatrix(row, ColWidth),
            TextMatrix(row, ColHeight),   TextMatrix(row, ColPartnerFile), TextMatrix(row, ColStatus)};
}

void FileGrid::AddItem(const QString& tabText) {
    const QStringList cells = tabText.split('\t');
    const int r = rowCount();
    syncing_ = true;
    insertRow(r);
    for (int c = 0; c < kCols; ++c) setItem(r, c, new QTableWidgetItem(c < cells.size() ? cells[c] : QString()));
    syncing_ = false;
    if (row_ == 0) {
        row_ = rowSel_ = 1;
    }
    showSelection();
}

bool FileGrid::RemoveItem(int row) {
    if (row < 1 || row >= Rows() || rowCount() <= 1) return false;
    syncing_ = true;
    removeRow(row - 1);
    syncing_ = false;
    const int last = Rows() - 1;
    if (row_ > last) row_ = last;
    if (rowSel_ > last) rowSel_ = last;
    showSelection();
    return true;
}

void FileGrid::SetColWidthTwips(int col, int twips) { setColumnWidth(col, twips / 15); }

void FileGrid::showSelection() {
    syncing_ = true;
    clearSelection();
    if (row_ >= 1 && row_ < Rows()) {
        const int top = std::min(row_, std::max(rowSel_, 1)) - 1;
        const int bottom = std::max(row_, std::max(rowSel_, 1)) - 1;
        const int left = std::min(col_, colSel_);
        const int right = std::max(col_, colSel_);
        selectionModel()->setCurrentIndex(model()->index(row_ - 1, col_), QItemSelectionModel::NoUpdate);
        selectionModel()->select(QItemSelection(model()->index(top, left), model()->index(bottom, right)),
                                 QItemSelectionModel::Select);
    }
    syncing_ = false;
}

void FileGrid::takeUserSelection() {
    if (syncing_) return;
    const QModelIndex cur = currentIndex();
    if (!cur.isValid()) return;
    const auto ranges = selectedRanges();
    if (ranges.isEmpty()) {
        row_ = rowSel_ = cur.row() + 1;
        col_ = colSel_ = cur.column();
        return;
    }
    const auto& rg = ranges.first();
    const int r = cur.row();
    row_ = r + 1;
    rowSel_ = (r == rg.topRow() ? rg.bottomRow() : rg.topRow()) + 1;
    col_ = cur.column();
    colSel_ = (col_ == rg.leftColumn() ? rg.rightColumn() : rg.leftColumn());
}

void FileGrid::mouseReleaseEvent(QMouseEvent* e) {
    QTableWidget::mouseReleaseEvent(e);
    Q_EMIT MouseUp(e->button(), e->modifiers(), e->pos().x(), e->pos().y());
}

void FileGrid::keyPressEvent(QKeyEvent* e) {
    Q_EMIT KeyDown(e->key(), e->modifiers());
    if (e->key() == Qt::Key_A && (e->modifiers() & Qt::ControlModifier)) return;  // handled above
    QTableWidget::keyPressEvent(e);
}

void FileGrid::mouseDoubleClickEvent(QMouseEvent* e) {
    QTableWidget::mouseDoubleClickEvent(e);
    Q_EMIT DblClick();
}

void FileGrid::dragEnterEvent(QDragEnterEvent* e) {
    Q_EMIT DragOver();
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    else e->ignore();
}

void FileGrid::dragMoveEvent(QDragMoveEvent* e) {
    Q_EMIT DragOver();
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
    else e->ignore();
}

void FileGrid::dropEvent(QDropEvent* e) {
    if (OLEDropMode != 1 || !e->mimeData()->hasUrls()) {
        e->ignore();
        return;
    }
    QStringList paths;
    for (const QUrl& u : e->mimeData()->urls())
        if (u.isLocalFile()) paths << u.toLocalFile();
    e->acceptProposedAction();
    Q_EMIT DroppedFiles(paths);
}
