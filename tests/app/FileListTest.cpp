#include "app/Form1.h"
#include "app/StatusPanels.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "support/FormFixture.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct ListFixture : ::testing::Test {
    FormFixture fx;
    Form1* f = nullptr;
    void SetUp() override {
        ASSERT_TRUE(fx.Load());
        f = fx.form.get();
    }
    void fill(int n) {
        for (int i = 1; i <= n; ++i)
            FileListController::AddRow(*f, QString("v%1.mp4\t/videos\t640\t360\t/c.png").arg(i));
    }
    QStringList names() {
        QStringList l;
        for (int r = 1; r < f->MSF->Rows(); ++r) l << f->MSF->TextMatrix(r, 0);
        return l;
    }
};

}  // namespace

TEST_F(ListFixture, AddingARowSelectsItAndCounts) {
    FileListController::AddRow(*f, "a.mp4\t/v\t640\t360");
    EXPECT_EQ(f->MSF->Rows(), 2);
    EXPECT_EQ(f->MSF->TextMatrix(1, 0), "a.mp4");
    EXPECT_EQ(f->MSF->TextMatrix(1, 3), "360");
    EXPECT_EQ(f->MSF->TextMatrix(1, 4), "");  // a four-cell row
    EXPECT_EQ(f->MSF->TextMatrix(1, 5), "");
    EXPECT_EQ(f->MSF->Row(), 1);
    EXPECT_EQ(f->MSF->ColSel(), 5);
    EXPECT_EQ(f->Stb->PanelText(3), "文件数：1");
}

TEST_F(ListFixture, ScrollsOnlyOnceTheListIsLong) {
    f->show();
    QApplication::processEvents();
    FileGrid* g = f->MSF;
    const int visible = g->VisibleRows();
    ASSERT_GE(visible, 3);
    // Whole rows: one more would not fit.
    const int rowHeight = g->verticalHeader()->defaultSectionSize();
    ASSERT_LE(visible * rowHeight, g->viewport()->height());
    ASSERT_GT((visible + 1) * rowHeight, g->viewport()->height());
    fill(visible);
    EXPECT_EQ(g->TopRow(), 1);
    fill(5);
    EXPECT_EQ(g->Rows(), visible + 6);
    EXPECT_EQ(g->TopRow(), 6);
    EXPECT_EQ(g->Row(), visible + 5);
    EXPECT_EQ(f->Stb->PanelText(3), QString("文件数：%1").arg(visible + 5));
}

// Whatever the window's height, the rows just added are in view, with as many
// rows before them as the view holds.
TEST_F(ListFixture, NewRowsAreInViewAtAnyWindowHeight) {
    f->show();
    QApplication::processEvents();
    FileGrid* g = f->MSF;
    for (const int extra : {0, -120, 160}) {
        FileListController::ClearList(*f);
        f->resize(f->width(), f->height() + extra);
        QApplication::processEvents();
        fill(40);
        QApplication::processEvents();
        const QRect view = g->viewport()->rect();
        const int last = g->Rows() - 2;  // table row of the last grid row
        EXPECT_TRUE(view.contains(g->visualRect(g->model()->index(last, 0)))) << extra;
        EXPECT_EQ(g->TopRow(), g->Rows() - g->VisibleRows()) << extra;
    }
}

TEST_F(ListFixture, DeletingASelectionUpwardsOrDownwards) {
    for (bool upwards : {false, true}) {
        FileListController::ClearList(*f);
        fill(8);
        f->MSF->SetRow(upwards ? 6 : 3);
        f->MSF->SetRowSel(upwards ? 3 : 6);
        fx.dialogs.answers = {MsgResult::Ok};
        f->fileList->CmdDel_Click();
        EXPECT_EQ(names(), (QStringList{"v1.mp4", "v2.mp4", "v7.mp4", "v8.mp4"}));
        EXPECT_EQ(f->Stb->PanelText(3), "文件数：4");
        ASSERT_GE(fx.dialogs.messages.size(), 2u);
        const auto& ask = fx.dialogs.messages[fx.dialogs.messages.size() - 2];
        EXPECT_EQ(ask.text, "确定要删除选中的记录？");
        EXPECT_EQ(ask.icon, MsgIcon::Exclamation);
        EXPECT_EQ(ask.defaultButton, 1);
        EXPECT_EQ(fx.dialogs.LastText(), "选中的记录删除完毕！");
    }
}

TEST_F(ListFixture, DeletingEveryRowEmptiesTheList) {
    fill(3);
    f->MSF->SetRow(1);
    f->MSF->SetRowSel(3);
    fx.dialogs.answers = {MsgResult::Ok};
    f->fileList->CmdDel_Click();
    EXPECT_EQ(f->MSF->Rows(), 1);
    EXPECT_EQ(f->Stb->PanelText(3), "文件数：0");
}

TEST_F(ListFixture, DeleteRefusalsAndCancel) {
    f->fileList->CmdDel_Click();  // empty list: beep only
    EXPECT_EQ(fx.dialogs.beeps, 1);
    EXPECT_TRUE(fx.dialogs.messages.empty());
    fill(2);
    fx.dialogs.answers = {MsgResult::Cancel};
    f->fileList->CmdDel_Click();
    EXPECT_EQ(f->MSF->Rows(), 3);
    EXPECT_EQ(fx.dialogs.messages.size(), 1u);
}

TEST_F(ListFixture, DeletingWhileTheListIsClearedMeanwhile) {
    fill(6);
    f->MSF->SetRow(2);
    f->MSF->SetRowSel(5);
    fx.dialogs.answers = {MsgResult::Ok};
    // A mode switch arriving during the deleting loop's yield.
    int yields = 0;
    QObject ctx;
    QMetaObject::invokeMethod(&ctx, [&] { ++yields; f->CmbType->SetListIndex(1); }, Qt::QueuedConnection);
    f->fileList->CmdDel_Click();
    EXPECT_EQ(yields, 1);
    EXPECT_EQ(f->MSF->Rows(), 1);
    EXPECT_EQ(f->Stb->PanelText(3), "文件数：0");
}

TEST_F(ListFixture, RightButtonClears) {
    fill(2);
    // Busy: nothing, no question.
    f->Busy = true;
    f->fileList->MSF_MouseUp(Qt::RightButton, Qt::NoModifier, 1, 1);
    EXPECT_TRUE(fx.dialogs.messages.empty());
    f->Busy = false;
    f->fileList->MSF_MouseUp(Qt::LeftButton, Qt::NoModifier, 1, 1);
    EXPECT_TRUE(fx.dialogs.messages.empty());
    fx.dialogs.answers = {MsgResult::Cancel};
    f->fileList->MSF_MouseUp(Qt::RightButton, Qt::NoModifier, 1, 1);
    EXPECT_EQ(f->MSF->Rows(), 3);
    EXPECT_EQ(fx.dialogs.LastText(), "清空文件列表？");
    fx.dialogs.answers = {MsgResult::Ok};
    // A real right click on the grid.
    QTest::mouseClick(f->MSF->viewport(), Qt::RightButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(f->MSF->Rows(), 1);
    EXPECT_EQ(f->Stb->PanelText(3), "文件数：0");
    // An empty list asks nothing.
    const size_t before = fx.dialogs.messages.size();
    f->fileList->MSF_MouseUp(Qt::RightButton, Qt::NoModifier, 1, 1);
    EXPECT_EQ(fx.dialogs.messages.size(), before);
}

TEST_F(ListFixture, CtrlASelectsEveryRow) {
    QTest::keyClick(f->MSF, Qt::Key_A, Qt::ControlModifier);  // empty: nothing
    EXPECT_EQ(f->MSF->Row(), 0);
    fill(4);
    f->MSF->SetRow(2);
    QTest::keyClick(f->MSF, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(f->MSF->Row(), 1);
    EXPECT_EQ(f->MSF->RowSel(), 4);
    EXPECT_EQ(f->MSF->ColSel(), 5);
    EXPECT_EQ(f->MSF->selectedItems().size(), 4 * 6);
}

TEST_F(ListFixture, DoubleClickOpensByMode) {
    FileListController::AddRow(*f, "v.mp4\t/videos\t640\t360\t/covers/c.png");
    f->fileList->MSF_DblClick();  // mode 0: the row's file
    ASSERT_EQ(fx.shell.calls.size(), 1u);
    EXPECT_EQ(fx.shell.calls[0].target, "v.mp4");
    EXPECT_EQ(fx.shell.calls[0].workDir, "/videos");

    f->CmbType->SetListIndex(1);
    FileListController::AddRow(*f, "v.mp4\t/videos\t640\t360\t/covers/c.png");
    fx.shell.calls.clear();
    f->fileList->MSF_DblClick();  // mode 1: the file and its cover
    ASSERT_EQ(fx.shell.calls.size(), 2u);
    EXPECT_EQ(fx.shell.calls[1].target, "c.png");
    EXPECT_EQ(fx.shell.calls[1].workDir, "/covers");

    for (int mode : {3, 4}) {
        f->CmbType->SetListIndex(mode);
        FileListController::AddRow(*f, "v.mp4\t/videos\t640\t360");
        fx.shell.calls.clear();
        f->fileList->MSF_DblClick();
        EXPECT_TRUE(fx.shell.calls.empty());
    }
}

TEST_F(ListFixture, GridRefusesToRemoveItsLastRow) {
    fill(1);
    EXPECT_FALSE(f->MSF->RemoveItem(1));
    EXPECT_EQ(f->MSF->Rows(), 2);
    EXPECT_FALSE(f->MSF->SetTopRow(0));
    EXPECT_FALSE(f->MSF->SetTopRow(2));
}
