// The read button's folder scan, drops on the grid and the folder buttons.
#include "IntakeFixture.h"

#include "filelist/FolderListing.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

using namespace intake_test;

namespace {

// The names of a folder's files in the order the file system lists them.
QStringList Listed(const QString& folder, const QStringList& only) {
    const auto listing = intake::ListFolder(folder);
    QStringList l;
    for (const QString& n : listing->files)
        if (only.contains(n)) l << n;
    return l;
}

}  // namespace

TEST_F(IntakeTest, ModeZeroScanGivesEveryPictureTheBaseVideosSize) {
    const QString base = Dir("v") + "/base.mp4";
    ASSERT_TRUE(PlaceVideo(base, 176, 144));
    const QString pics = Dir("pics");
    for (const char* n : {"b.png", "a.JPG", "c.tiff", "d.txt", "README"}) ASSERT_TRUE(PlacePicture(pics + "/" + n));
    ASSERT_TRUE(PlacePicture(Dir("pics/sub") + "/e.png"));

    fx.dialogs.fileAnswers = {base};
    f->intake->CmdAddMp4_Click();
    f->LInDir->setText(pics + "/");
    Working w;
    RecordAtNextYield(w);
    f->CmdUpdate->setEnabled(true);  // an update on offer waits for the scan
    f->intake->CmdReadMp4_Click();
    EXPECT_TRUE(w.seen && w.busy && !w.frame1 && !w.read && !w.update);
    ExpectLastInfo("文件加载完毕！");
    ExpectIdle();
    EXPECT_TRUE(f->CmdUpdate->isEnabled());

    // None on offer: none after the scan either.
    FileListController::ClearList(*f);
    f->CmdUpdate->setEnabled(false);
    f->intake->CmdReadMp4_Click();
    EXPECT_FALSE(f->CmdUpdate->isEnabled());

    const QStringList size = FfprobeSize(base);
    ASSERT_EQ(size.size(), 2);
    EXPECT_EQ(Names(), Listed(pics, {"b.png", "a.JPG", "c.tiff"}));  // unsorted, no sub without ChSub
    for (int r = 1; r <= DataRows(); ++r) EXPECT_EQ(Row(r).mid(1), (QStringList{pics, size[0], size[1], base, ""}));
}

TEST_F(IntakeTest, SubfoldersAreWalkedDepthFirst) {
    const QString root = Dir("in");
    ASSERT_TRUE(PlaceVideo(root + "/r.mp4", 160, 120));
    ASSERT_TRUE(PlaceVideo(Dir("in/A") + "/a.mp4", 160, 120));
    ASSERT_TRUE(PlaceVideo(Dir("in/A/AA") + "/aa.mkv", 176, 144));
    ASSERT_TRUE(PlaceVideo(Dir("in/B") + "/b.MP4", 160, 120));
    ASSERT_TRUE(PlaceVideo(Dir("in/.hidden") + "/h.mp4", 160, 120));
    Touch(root + "/notes.txt");

    Mode(3);
    f->LInDir->setText(root);
    f->intake->CmdReadMp4_Click();
    EXPECT_EQ(Names(), QStringList{"r.mp4"});

    FileListController::ClearList(*f);
    f->ChSub->setChecked(true);
    f->intake->CmdReadMp4_Click();
    const QStringList names = Names();
    ASSERT_EQ(names.size(), 4);
    EXPECT_EQ(names[0], "r.mp4");  // a folder's own files first
    const int a = names.indexOf("a.mp4");
    EXPECT_EQ(names.value(a + 1), "aa.mkv");  // then a subfolder's whole subtree
    EXPECT_TRUE(names.contains("b.MP4"));
    const QMap<QString, QString> folderOf{
        {"r.mp4", root}, {"a.mp4", root + "/A"}, {"aa.mkv", root + "/A/AA"}, {"b.MP4", root + "/B"}};
    QStringList folders;
    for (const QString& n : names) folders << folderOf.value(n);
    EXPECT_EQ(Names(1), folders);
    const QStringList aa = FfprobeSize(root + "/A/AA/aa.mkv");
    EXPECT_EQ(Row(a + 2).mid(2, 2), aa);
    EXPECT_EQ(Row(a + 2)[4], "");  // four cells in mode 3
}

TEST_F(IntakeTest, ScanMatchesCoversInItsOwnOrder) {
    const QString in = Dir("in");
    for (const char* n : {"a.mp4", "b.mp4", "c.mp4"}) ASSERT_TRUE(PlaceVideo(in + "/" + n, 160, 120));
    const QString covers = Dir("covers");
    for (const char* n : {"a.PNG", "a.bmp", "b.bmp", "b.png"}) ASSERT_TRUE(PlacePicture(covers + "/" + n));

    Mode(1);
    f->ChAutoMatch->setChecked(true);
    f->LBase->setText(covers + "/");
    f->LInDir->setText(in + "/");
    f->intake->CmdReadMp4_Click();
    ExpectLastInfo("文件加载完毕！");
    QStringList got;
    for (int r = 1; r <= DataRows(); ++r) got << Row(r)[0] + " " + Row(r)[4];
    got.sort();
    EXPECT_EQ(got, (QStringList{"a.mp4 " + covers + "//a.bmp", "b.mp4 " + covers + "//b.bmp"}));  // c: no cover, no row
}

TEST_F(IntakeTest, ScanRowsByMode) {
    const QString in = Dir("in");
    ASSERT_TRUE(PlaceVideo(in + "/clip.final.mp4", 160, 120));
    Touch(in + "/song.MP3");
    Touch(in + "/song2.mp2");
    const QString cover = Dir("c") + "/cover.png";
    ASSERT_TRUE(PlacePicture(cover));
    const QStringList size = FfprobeSize(in + "/clip.final.mp4");
    f->LInDir->setText(in + "/");

    Mode(4);
    f->intake->CmdReadMp4_Click();
    ASSERT_EQ(DataRows(), 1);
    EXPECT_EQ(Row(1), (QStringList{"clip.final.jpg", in, size[0], size[1], in + "/clip.final.mp4", ""}));

    Mode(2);
    f->LBase->setText(cover);
    f->intake->CmdReadMp4_Click();
    ASSERT_EQ(DataRows(), 1);
    EXPECT_EQ(Row(1), (QStringList{"clip.final.mp4", in, size[0], size[1], cover, ""}));

    // A caption carrying "Mp3" scans for mp3 and mp2 files only.
    FileListController::ClearList(*f);
    f->CmdReadMp4->setText("读入Mp3");
    f->intake->CmdReadMp4_Click();
    QStringList names = Names();
    names.sort();
    EXPECT_EQ(names, (QStringList{"song.MP3", "song2.mp2"}));
    EXPECT_EQ(Names(4), (QStringList{cover, cover}));
}

TEST_F(IntakeTest, UnreadableOrMissingInputFolderAddsNothing) {
    Mode(3);
    f->LInDir->setText(tmp.path() + "/missing/");
    f->intake->CmdReadMp4_Click();
    EXPECT_EQ(DataRows(), 0);
    ExpectLastInfo("文件加载完毕！");
    ExpectIdle();
}

TEST_F(IntakeTest, ChangesDuringAScan) {
    const QString in = Dir("in");
    for (const char* n : {"1.mp4", "2.mp4", "3.mp4", "4.mp4"}) ASSERT_TRUE(PlaceVideo(in + "/" + n, 160, 120));
    f->LInDir->setText(in + "/");

    // A mode switch clears the list; the scan goes on in the new mode's layout.
    Mode(4);
    AtNextYield([this] { Mode(3); });
    f->intake->CmdReadMp4_Click();
    EXPECT_EQ(DataRows(), 3);
    EXPECT_EQ(Names(4), (QStringList{"", "", ""}));
    ExpectLastInfo("文件加载完毕！");
    ExpectIdle();

    // The list cleared by other means meanwhile.
    FileListController::ClearList(*f);
    AtNextYield([this] { FileListController::ClearList(*f); });
    f->intake->CmdReadMp4_Click();
    EXPECT_EQ(DataRows(), 3);
    EXPECT_EQ(f->Stb->PanelText(3), "文件数：3");

    // Closing the window stops the scan where it is.
    FileListController::ClearList(*f);
    f->show();
    fx.dialogs.answers = {MsgResult::Ok};
    AtNextYield([this] { f->close(); });
    f->intake->CmdReadMp4_Click();
    EXPECT_EQ(DataRows(), 1);
    EXPECT_EQ(Last()->text, "确定关闭程序？");
}

TEST_F(IntakeTest, DropsAreTakenInModeThreeOnly) {
    const QString v = Dir("drop");
    ASSERT_TRUE(PlaceVideo(v + "/a.mp4", 160, 120));
    Touch(v + "/x.m");  // the drop's test is looser than the scan's
    Touch(v + "/notes.txt");
    ASSERT_TRUE(PlaceVideo(Dir("drop/sub") + "/s.mp4", 176, 144));
    ASSERT_TRUE(PlaceVideo(Dir("drop/sub/deep") + "/d.mp4", 160, 120));
    const QStringList items{v + "/a.mp4", v + "/notes.txt", v + "/sub", v + "/x.m", v + "/gone.mp4"};

    Mode(2);
    f->intake->MSF_OLEDragDrop(items);
    EXPECT_EQ(fx.dialogs.beeps, 1);
    EXPECT_EQ(DataRows(), 0);
    EXPECT_TRUE(fx.dialogs.messages.empty());

    Mode(3);
    f->intake->MSF_OLEDragDrop(items);  // a folder without ChSub is skipped
    EXPECT_EQ(Names(), (QStringList{"a.mp4", "x.m"}));
    ExpectLastInfo("文件加载完毕！");
    const QStringList a = FfprobeSize(v + "/a.mp4");
    EXPECT_EQ(Row(1), (QStringList{"a.mp4", v, a[0], a[1], "", ""}));

    FileListController::ClearList(*f);
    f->ChSub->setChecked(true);
    Working w;
    RecordAtNextYield(w);
    f->CmdUpdate->setEnabled(true);
    f->intake->MSF_OLEDragDrop(items);
    EXPECT_TRUE(w.seen && !w.update);  // no update flow inside the folder's scan
    EXPECT_TRUE(f->CmdUpdate->isEnabled());
    EXPECT_EQ(Names(), (QStringList{"a.mp4", "s.mp4", "d.mp4", "x.m"}));
    EXPECT_EQ(Row(2).mid(1, 3), (QStringList{v + "/sub"} + FfprobeSize(v + "/sub/s.mp4")));
    // The last row is selected and the list shows its top.
    EXPECT_EQ(f->MSF->Row(), 4);
    EXPECT_EQ(f->MSF->ColSel(), 5);
    EXPECT_EQ(f->MSF->TopRow(), 1);
    EXPECT_FALSE(f->Busy);

    // Nothing usable still ends with the message.
    FileListController::ClearList(*f);
    fx.dialogs.messages.clear();
    f->intake->MSF_OLEDragDrop({v + "/notes.txt"});
    EXPECT_EQ(DataRows(), 0);
    ExpectLastInfo("文件加载完毕！");
}

TEST_F(IntakeTest, ARealDropOnTheGrid) {
    const QString v = Dir("drop");
    ASSERT_TRUE(PlaceVideo(v + "/a.mp4", 160, 120));
    Mode(3);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(v + "/a.mp4")});
    QWidget* port = f->MSF->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(port, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(port, &drop);
    EXPECT_EQ(Names(), QStringList{"a.mp4"});
    ExpectLastInfo("文件加载完毕！");
}

TEST_F(IntakeTest, InputAndOutputFolderButtons) {
    const QString in = Dir("in");
    const QString oldIn = f->LInDir->text(), oldOut = f->LDir->text();
    fx.dialogs.folderAnswers = {"", ""};
    f->intake->CmdIndir_Click();
    f->intake->CmdOutDir_Click();
    EXPECT_EQ(fx.dialogs.beeps, 2);
    EXPECT_EQ(f->LInDir->text(), oldIn);
    EXPECT_EQ(f->LDir->text(), oldOut);

    fx.dialogs.folderAnswers = {in, in + "/nowhere"};
    f->intake->CmdIndir_Click();
    f->intake->CmdOutDir_Click();
    EXPECT_EQ(f->LInDir->text(), in + "/");
    EXPECT_EQ(f->LDir->text(), fx.AppPath());  // not a folder: the program folder
    EXPECT_EQ(fx.dialogs.folderPrompts, (QStringList{"指定视频文件所在的文件夹", "指定保存的文件夹", "指定视频文件所在的文件夹",
                                                     "指定保存的文件夹"}));
    EXPECT_TRUE(fx.dialogs.messages.empty());
}

TEST_F(IntakeTest, NamesWithTabsOrLineBreaksAreListedByNoPath) {
    const QString v = Dir("odd");
    const QStringList odd{"Re\tx.mp4", "cr\rx.mp4", "lf\nx.mp4"};
    for (const QString& n : odd + QStringList{"ok.mp4", "Re: y.mp4"}) Touch(v + "/" + n);
    for (const QString& n : {"tab\tc.png", "ok.png"}) Touch(v + "/" + n);
    const QString cover = Dir("c") + "/cover.png";
    ASSERT_TRUE(PlacePicture(cover));
    const auto expectOnly = [&](const QStringList& names) {
        EXPECT_EQ(Names(), names);
        for (int r = 1; r < f->MSF->Rows(); ++r) EXPECT_EQ(f->MSF->TextMatrix(r, 5), "") << r;
        FileListController::ClearList(*f);
    };

    // The add dialog, one file at a time and several at once.
    Mode(2);
    f->LBase->setText(cover);
    for (const QString& n : odd) {
        fx.dialogs.fileAnswers = {v + "/" + n};
        f->intake->CmdAddMp4_Click();
        ExpectLastInfo("视频文件添加完毕！");
    }
    fx.dialogs.fileAnswers = {Multi(v, odd + QStringList{"ok.mp4", "Re: y.mp4"})};
    f->intake->CmdAddMp4_Click();
    expectOnly({"ok.mp4", "Re: y.mp4"});

    // Cover rows of mode 0.
    Mode(0);
    ASSERT_TRUE(PlaceVideo(v + "/base.mp4", 160, 120));
    f->LBase->setText(v + "/base.mp4");
    fx.dialogs.fileAnswers = {v + "/tab\tc.png", Multi(v, {"tab\tc.png", "ok.png"})};
    f->intake->CmdCover_Click();
    f->intake->CmdCover_Click();
    expectOnly({"ok.png"});

    // The folder scan and the drop.
    Mode(3);
    f->LInDir->setText(v);
    f->intake->CmdReadMp4_Click();
    QStringList scanned = Names();
    scanned.sort();
    EXPECT_EQ(scanned, (QStringList{"Re: y.mp4", "base.mp4", "ok.mp4"}));
    FileListController::ClearList(*f);
    QStringList dropped;
    for (const QString& n : odd + QStringList{"ok.mp4"}) dropped << v + "/" + n;
    f->intake->MSF_OLEDragDrop(dropped);
    expectOnly({"ok.mp4"});
}
