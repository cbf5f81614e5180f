#include "filelist/FileListController.h"

#include "app/Form1.h"
#include "app/StatusPanels.h"
#include "filelist/FileGrid.h"
#include "options/ProcessingMode.h"
#include "platform/FileOps.h"

#include <QCoreApplication>
#include <QPushButton>

FileListController::FileListController(Form1& form) : f_(form) {
    connect(f_.CmdDel, &QPushButton::clicked, this, &FileListController::CmdDel_Click);
    connect(f_.MSF, &FileGrid::MouseUp, this, &FileListController::MSF_MouseUp);
    connect(f_.MSF, &FileGrid::KeyDown, this, &FileListController::MSF_KeyDown);
    connect(f_.MSF, &FileGrid::DblClick, this, &FileListController::MSF_DblClick);
    connect(f_.MSF, &FileGrid::DragOver, this, &FileListController::MSF_OLEDragOver);
}

void FileListController::UpdateFileCount(Form1& form) {
    form.Stb->SetPanelText(StatusPanels::kFileCountPanel,
                           QStringLiteral("文件数：") + QString::number(form.MSF->Rows() - 1));
}

void FileListController::AddRow(Form1& form, const QString& tabText) {
    FileGrid* g = form.MSF;
    g->AddItem(tabText);
    g->SetRow(g->Rows() - 1);
    g->SetColSel(g->Cols() - 1);
    // The new row at the foot of the view; refused while the list is short.
    g->SetTopRow(g->Rows() - g->VisibleRows());
    UpdateFileCount(form);
}

void FileListController::ClearList(Form1& form) {
    form.MSF->SetRows(1);
    form.Stb->SetPanelText(StatusPanels::kFileCountPanel, QStringLiteral("文件数：0"));
}

void FileListController::CmdDel_Click() {
    FileGrid* g = f_.MSF;
    if (g->Rows() <= 1) {
        f_.services.dialogs->Beep();
        return;
    }
    if (f_.services.dialogs->Message(QStringLiteral("确定要删除选中的记录？"), QStringLiteral("消息"),
                                     MsgIcon::Exclamation, MsgButtons::OkCancel, 1) != MsgResult::Ok)
        return;
    const int first = std::min(g->Row(), g->RowSel());
    const int last = std::max(g->Row(), g->RowSel());
    for (int i = 0; i < last - first + 1; ++i) {
        if (f_.IsClosed()) return;
        // The list may have been cleared meanwhile; a removal it refuses ends the loop.
        if (first >= f_.MSF->Rows() || !f_.MSF->RemoveItem(first)) {
            ClearList(f_);
            break;
        }
        QCoreApplication::processEvents();
    }
    if (f_.IsClosed()) return;
    UpdateFileCount(f_);
    f_.services.dialogs->Message(QStringLiteral("选中的记录删除完毕！"), QStringLiteral("消息"),
                                 MsgIcon::Information, MsgButtons::Ok);
}

void FileListController::MSF_MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
    if (button != Qt::RightButton || f_.Busy || f_.MSF->Rows() <= 1) return;
    if (f_.services.dialogs->Message(QStringLiteral("清空文件列表？"), QStringLiteral("消息"),
                                     MsgIcon::Exclamation, MsgButtons::OkCancel, 1) == MsgResult::Ok)
        ClearList(f_);
}

void FileListController::MSF_KeyDown(int keyCode, Qt::KeyboardModifiers shift) {
    if (keyCode != Qt::Key_A || !(shift & Qt::ControlModifier) || f_.MSF->Rows() <= 1) return;
    f_.MSF->SetRow(1);
    f_.MSF->SetRowSel(f_.MSF->Rows() - 1);
    f_.MSF->SetColSel(f_.MSF->Cols() - 1);
}

void FileListController::MSF_DblClick() {
    const int mode = f_.ProcessingMode();
    const int r = f_.MSF->Row();
    if (r < 1 || r >= f_.MSF->Rows()) return;  // nothing but the header
    if (mode != SeriesFromOneVideo && mode != OneCoverPerVideo && mode != OneCoverForAllVideos) return;
    f_.services.shell->Open(f_.MSF->TextMatrix(r, filelist::ColFileName), f_.MSF->TextMatrix(r, filelist::ColFolder));
    if (mode == OneCoverPerVideo) {
        const QString cover = f_.MSF->TextMatrix(r, filelist::ColPartnerFile);
        const int slash = cover.lastIndexOf('/');
        if (slash >= 0) f_.services.shell->Open(cover.mid(slash + 1), cover.left(slash));
    }
}

void FileListController::MSF_OLEDragOver() { f_.MSF->OLEDropMode = 1; }
