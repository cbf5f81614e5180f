// The add and cover buttons: refusals, dialog properties, the rows of every
// mode and the name match of covers.
#include "IntakeFixture.h"

#include <QApplication>
#include <QTest>

using namespace intake_test;

namespace {

enum class Button { Add, Cover, Read };

void Click(Form1& f, Button b) {
    switch (b) {
        case Button::Add: f.intake->CmdAddMp4_Click(); break;
        case Button::Cover: f.intake->CmdCover_Click(); break;
        case Button::Read: f.intake->CmdReadMp4_Click(); break;
    }
}

}  // namespace

TEST_F(IntakeTest, RefusalsNameTheMissingFileAndMoveTheFocus) {
    const QString hidden = Dir("c") + "/.cover.png";
    Touch(hidden);
    struct {
        int mode;
        bool autoMatch;
        QString base;  // "" keeps what the mode switch left
        QString readCaption;
        Button button;
        QString text;
        const char* focus;
    } cases[] = {
        {1, false, "", "", Button::Add, "请先指定封面图！", "CmdCover"},
        {1, true, "", "", Button::Add, "请先指定自动文件名匹配的封面图来源文件夹！", "CmdCover"},
        {1, true, Dir("c") + "/none/", "", Button::Add, "请先指定自动文件名匹配的封面图来源文件夹！", "CmdCover"},
        {2, false, "", "", Button::Add, "请先指定封面图！", "CmdCover"},
        {2, false, hidden, "", Button::Add, "请先指定封面图！", "CmdCover"},  // a hidden file is none
        {2, false, Dir("c"), "", Button::Add, "请先指定封面图！", "CmdCover"},  // nor is a folder
        {0, false, "", "", Button::Cover, "基准视频文件未指定！", "CmdAddMp4"},
        {0, false, "", "", Button::Read, "基准视频文件未指定！", "CmdAddMp4"},
        {0, false, "", "读入Mp3", Button::Read, "基准MP3文件未指定！", "CmdAddMp4"},
        {1, false, "", "", Button::Read, "请先指定封面图！", "CmdCover"},
        {1, true, "", "", Button::Read, "请先指定自动匹配封面图来源文件夹！", "CmdCover"},
        {2, false, "", "", Button::Read, "请先指定封面图！", "CmdCover"},
    };
    f->show();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    for (const auto& c : cases) {
        Mode(c.mode);
        f->ChAutoMatch->setChecked(c.autoMatch);  // no mode but 1 unchecks it
        if (!c.base.isEmpty()) f->LBase->setText(c.base);
        if (!c.readCaption.isEmpty()) f->CmdReadMp4->setText(c.readCaption);
        f->CmdDo->setFocus();
        const QString baseBefore = f->LBase->text();
        fx.dialogs.messages.clear();
        fx.dialogs.fileRequests.clear();
        Click(*f, c.button);
        SCOPED_TRACE(c.text.toStdString() + " mode " + std::to_string(c.mode));
        ASSERT_EQ(fx.dialogs.messages.size(), 1u);
        EXPECT_EQ(Last()->text, c.text);
        EXPECT_EQ(Last()->title, "消息");
        EXPECT_EQ(Last()->icon, MsgIcon::Critical);
        EXPECT_EQ(Last()->buttons, MsgButtons::Ok);
        EXPECT_TRUE(fx.dialogs.fileRequests.empty());  // refused before any dialog
        EXPECT_EQ(QApplication::focusWidget(), f->findChild<QWidget*>(c.focus));
        EXPECT_EQ(f->LBase->text(), baseBefore);
        EXPECT_EQ(DataRows(), 0);
        ExpectIdle();
    }
}

TEST_F(IntakeTest, DialogPropertiesAndCancel) {
    const QString cover = Dir("c") + "/cover.png";
    ASSERT_TRUE(PlacePicture(cover));
    const QString picFilter = "图片文件|*.bmp;*.jpg;*.jpeg;*.png;*.gif;*.tif;*.tiff";
    struct {
        int mode;
        bool mp3;
        Button button;
        QString title;
        long flags;
        QString filter;  // "" = the media filter
    } cases[] = {
        {0, false, Button::Add, "指定基准视频文件", ofn::SingleSelection, ""},
        {0, true, Button::Add, "指定基准Mp3文件", ofn::SingleSelection, "mp3|*.mp3;*.mp2"},
        {1, false, Button::Add, "添加视频文件", ofn::SingleSelection, ""},
        {1, true, Button::Add, "添加Mp3文件", ofn::SingleSelection, "mp3|*.mp3;*.mp2"},
        {2, false, Button::Add, "添加视频文件", ofn::MultipleSelection, ""},
        {2, true, Button::Add, "添加Mp3文件", ofn::MultipleSelection, "mp3|*.mp3;*.mp2"},
        {3, false, Button::Add, "添加视频文件", ofn::MultipleSelection, ""},
        {4, false, Button::Add, "添加视频文件", ofn::MultipleSelection, ""},
        {0, false, Button::Cover, "添加封面图片文件", ofn::MultipleSelection, picFilter},
        {1, false, Button::Cover, "指定基准封面图片文件", ofn::SingleSelection, picFilter},
        {2, false, Button::Cover, "指定基准封面图片文件", ofn::SingleSelection, picFilter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title.toStdString() + " mode " + std::to_string(c.mode));
        Mode(c.mode);
        if (c.mp3) f->ChMp3->setChecked(true);
        // An ordinary file satisfies every path's need before its dialog.
        f->LBase->setText(cover);
        fx.dialogs.fileRequests.clear();
        fx.dialogs.messages.clear();
        fx.dialogs.beeps = 0;
        Click(*f, c.button);  // no answer queued: the dialog is cancelled
        ASSERT_EQ(fx.dialogs.fileRequests.size(), 1u);
        const auto& r = fx.dialogs.fileRequests.back();
        EXPECT_EQ(r.title, c.title);
        EXPECT_EQ(r.flags, c.flags);
        EXPECT_EQ(r.filter, c.filter.isEmpty() ? f->VideoFilter : c.filter);
        EXPECT_EQ((c.button == Button::Add ? f->Cdg : f->CmdPic).MaxFileSize, 32767);
        EXPECT_EQ(fx.dialogs.beeps, 1);
        EXPECT_TRUE(fx.dialogs.messages.empty());
        EXPECT_EQ(f->LBase->text(), cover);
        EXPECT_EQ(DataRows(), 0);
    }
}

TEST_F(IntakeTest, ModeZeroBaseVideoThenCoverRowsWithItsSize) {
    const QString base = Dir("v") + "/base.mp4";
    ASSERT_TRUE(PlaceVideo(base, 176, 144));
    const QString pics = Dir("p");
    for (const char* n : {"c1.png", "c2.jpg", "c3.bmp"}) ASSERT_TRUE(PlacePicture(pics + "/" + n));

    fx.dialogs.fileAnswers = {base};
    f->intake->CmdAddMp4_Click();
    EXPECT_EQ(f->LBase->text(), base);
    ExpectLastInfo("基准视频文件已指定！");
    EXPECT_EQ(DataRows(), 0);

    // A multiple selection: Busy and the controls off while it runs.
    Working w;
    RecordAtNextYield(w);
    fx.dialogs.fileAnswers = {Multi(pics, {"c2.jpg", "c1.png", "c3.bmp"})};
    f->CmdUpdate->setEnabled(true);
    f->intake->CmdCover_Click();
    ASSERT_TRUE(w.seen);
    EXPECT_TRUE(w.busy);
    EXPECT_FALSE(w.frame1);
    EXPECT_FALSE(w.cover);
    EXPECT_FALSE(w.update);  // no update flow inside the add
    ExpectLastInfo("封面图片文件添加完毕！");
    ExpectIdle();
    EXPECT_TRUE(f->CmdUpdate->isEnabled());
    const QStringList size = FfprobeSize(base);
    ASSERT_EQ(size.size(), 2);
    ASSERT_EQ(DataRows(), 3);
    EXPECT_EQ(Names(), (QStringList{"c2.jpg", "c1.png", "c3.bmp"}));  // the dialog's order
    for (int r = 1; r <= 3; ++r) EXPECT_EQ(Row(r), (QStringList{Names()[r - 1], pics, size[0], size[1], base, ""}));

    // A single selection adds one row without yielding.
    bool yielded = false;
    AtNextYield([&] { yielded = true; });
    fx.dialogs.fileAnswers = {pics + "/c1.png"};
    f->intake->CmdCover_Click();
    EXPECT_FALSE(yielded);
    ASSERT_EQ(DataRows(), 4);
    EXPECT_EQ(Row(4), (QStringList{"c1.png", pics, size[0], size[1], base, ""}));
    ExpectLastInfo("封面图片文件添加完毕！");
    QCoreApplication::processEvents();

    f->ChMp3->setChecked(true);
    fx.dialogs.fileAnswers = {base};
    f->intake->CmdAddMp4_Click();
    ExpectLastInfo("基准mp3文件已指定！");
}

TEST_F(IntakeTest, VideoRowsOfEveryMode) {
    const QString v = Dir("v");
    ASSERT_TRUE(PlaceVideo(v + "/a.mp4", 160, 120));
    ASSERT_TRUE(PlaceVideo(v + "/clip.final.mp4", 176, 144));
    ASSERT_TRUE(PlaceVideo(v + "/noext", 160, 120));
    const QString cover = Dir("c") + "/cover.png";
    ASSERT_TRUE(PlacePicture(cover));
    const QStringList a = FfprobeSize(v + "/a.mp4"), cf = FfprobeSize(v + "/clip.final.mp4");
    ASSERT_EQ(a.size(), 2);

    // Mode 1, one video against the named cover.
    Mode(1);
    fx.dialogs.fileAnswers = {cover};
    f->intake->CmdCover_Click();
    EXPECT_EQ(f->LBase->text(), cover);
    ExpectLastInfo("封面图片文件已指定！");
    fx.dialogs.fileAnswers = {v + "/a.mp4"};
    f->intake->CmdAddMp4_Click();
    ASSERT_EQ(DataRows(), 1);
    EXPECT_EQ(Row(1), (QStringList{"a.mp4", v, a[0], a[1], cover, ""}));
    ExpectLastInfo("视频文件添加完毕！");
    ExpectIdle();

    // Mode 2, several videos.
    Mode(2);
    fx.dialogs.fileAnswers = {cover};
    f->intake->CmdCover_Click();
    ExpectLastInfo("基准封面图片文件已指定！");
    Working w;
    RecordAtNextYield(w);
    fx.dialogs.fileAnswers = {Multi(v, {"clip.final.mp4", "a.mp4"})};
    f->intake->CmdAddMp4_Click();
    EXPECT_TRUE(w.seen && w.busy && !w.frame1 && !w.add);
    ASSERT_EQ(DataRows(), 2);
    EXPECT_EQ(Row(1), (QStringList{"clip.final.mp4", v, cf[0], cf[1], cover, ""}));
    EXPECT_EQ(Row(2), (QStringList{"a.mp4", v, a[0], a[1], cover, ""}));
    ExpectLastInfo("视频文件添加完毕！");
    ExpectIdle();

    // Mode 3: four cells.
    Mode(3);
    fx.dialogs.fileAnswers = {Multi(v, {"a.mp4", "clip.final.mp4"})};
    f->intake->CmdAddMp4_Click();
    ASSERT_EQ(DataRows(), 2);
    EXPECT_EQ(Row(1), (QStringList{"a.mp4", v, a[0], a[1], "", ""}));
    EXPECT_EQ(Row(2), (QStringList{"clip.final.mp4", v, cf[0], cf[1], "", ""}));

    // Mode 4: the picture to write, and the video's path.
    Mode(4);
    fx.dialogs.fileAnswers = {Multi(v, {"clip.final.mp4", "noext"}), v + "/a.mp4"};
    f->intake->CmdAddMp4_Click();
    f->intake->CmdAddMp4_Click();
    ASSERT_EQ(DataRows(), 3);
    EXPECT_EQ(Row(1), (QStringList{"clip.final.jpg", v, cf[0], cf[1], v + "/clip.final.mp4", ""}));
    EXPECT_EQ(Row(2), (QStringList{"noext.jpg", v, a[0], a[1], v + "/noext", ""}));
    EXPECT_EQ(Row(3), (QStringList{"a.jpg", v, a[0], a[1], v + "/a.mp4", ""}));
}

TEST_F(IntakeTest, AutoMatchedCoversOnTheAddPath) {
    const QString v = Dir("v");
    for (const char* n : {"a.mp4", "b.mp4", "lonely.mp4", "noext"}) ASSERT_TRUE(PlaceVideo(v + "/" + n, 160, 120));
    const QString covers = Dir("covers");
    for (const char* n : {"a.PNG", "a.bmp", "B.Jpeg", "noext.gif", "lonely.txt"}) ASSERT_TRUE(PlacePicture(covers + "/" + n));

    Mode(1);
    f->ChAutoMatch->setChecked(true);
    f->LInDir->setText(v + "/");
    fx.dialogs.folderAnswers = {covers};
    f->intake->CmdCover_Click();
    ASSERT_EQ(f->LBase->text(), covers + "/");
    EXPECT_TRUE(fx.dialogs.messages.empty());  // the folder pick shows nothing
    EXPECT_EQ(fx.dialogs.folderPrompts.back(), "请指定自动同名匹配的视频封面图所在的源文件夹");

    for (const char* n : {"a.mp4", "b.mp4", "lonely.mp4", "noext"}) {
        fx.dialogs.fileAnswers = {v + "/" + n};
        f->intake->CmdAddMp4_Click();
        ExpectLastInfo("视频文件添加完毕！");  // also when nothing matched
    }
    // The caption's own "/" then one more, then the name as the folder lists it.
    EXPECT_EQ(Names(), (QStringList{"a.mp4", "b.mp4", "noext"}));
    EXPECT_EQ(Names(4), (QStringList{covers + "//a.PNG", covers + "//B.Jpeg", covers + "//noext.gif"}));
    ExpectIdle();
}

TEST_F(IntakeTest, CoverFolderPickKeepsTheOldFolderUnlessANewOneExists) {
    Mode(1);
    f->ChAutoMatch->setChecked(true);
    const QString covers = Dir("covers");
    f->LBase->setText(covers + "/");
    for (const QString& answer : {QString(), QString("/"), covers + "/gone"}) {
        fx.dialogs.folderAnswers = {answer};
        f->intake->CmdCover_Click();
        // A missing folder comes back as the program folder, which exists: it is taken.
        const QString expected = answer.endsWith("gone") ? fx.AppPath() : covers + "/";
        EXPECT_EQ(f->LBase->text(), expected) << answer.toStdString();
        f->LBase->setText(covers + "/");
    }
    EXPECT_TRUE(fx.dialogs.messages.empty());
    EXPECT_EQ(fx.dialogs.beeps, 0);
}

TEST_F(IntakeTest, AutoMatchCheckedInModeOneCountsNowhereElse) {
    const QString v = Dir("v");
    ASSERT_TRUE(PlaceVideo(v + "/a.mp4", 160, 120));
    ASSERT_TRUE(PlacePicture(v + "/cover.png"));
    const QString covers = Dir("covers");

    // Mode 2: the cover button names a picture, and videos can then be added.
    Mode(1);
    f->ChAutoMatch->setChecked(true);
    Mode(2);
    ASSERT_TRUE(f->ChAutoMatch->isHidden());
    fx.dialogs.folderAnswers = {covers};
    fx.dialogs.fileAnswers = {v + "/cover.png", v + "/a.mp4"};
    f->intake->CmdCover_Click();
    EXPECT_TRUE(fx.dialogs.folderPrompts.isEmpty());
    EXPECT_EQ(f->LBase->text(), v + "/cover.png");
    ExpectLastInfo("基准封面图片文件已指定！");
    f->intake->CmdAddMp4_Click();
    ExpectLastInfo("视频文件添加完毕！");
    EXPECT_EQ(Row(1), (QStringList{"a.mp4", v, "160", "120", v + "/cover.png", ""}));

    // Mode 0: the cover button adds cover rows and leaves the base video alone.
    Mode(1);
    f->ChAutoMatch->setChecked(true);
    Mode(0);
    fx.dialogs.fileAnswers = {v + "/a.mp4", v + "/cover.png"};
    f->intake->CmdAddMp4_Click();
    f->intake->CmdCover_Click();
    EXPECT_TRUE(fx.dialogs.folderPrompts.isEmpty());
    EXPECT_EQ(f->LBase->text(), v + "/a.mp4");
    ExpectLastInfo("封面图片文件添加完毕！");
    EXPECT_EQ(Row(1), (QStringList{"cover.png", v, "160", "120", v + "/a.mp4", ""}));

    // Back in mode 1 the box starts unchecked, as every switch into mode 1 leaves it.
    Mode(1);
    EXPECT_FALSE(f->ChAutoMatch->isChecked());
    EXPECT_FALSE(f->ChAutoMatch->isHidden());
}

TEST_F(IntakeTest, AHiddenFileAloneAddsNothingButStillEnds) {
    const QString v = Dir("v");
    ASSERT_TRUE(PlaceVideo(v + "/.secret.mp4", 160, 120));
    Mode(3);
    fx.dialogs.fileAnswers = {v + "/.secret.mp4"};
    f->intake->CmdAddMp4_Click();
    EXPECT_EQ(DataRows(), 0);
    ExpectLastInfo("视频文件添加完毕！");
    ExpectIdle();
}

TEST_F(IntakeTest, RootFolders) {
    // A multiple selection in the root keeps "/" as the folder.
    Mode(3);
    fx.dialogs.fileAnswers = {Multi("/", {"x.mp4", "y.mp4"})};
    f->intake->CmdAddMp4_Click();
    EXPECT_EQ(Names(1), (QStringList{"/", "/"}));
    // A single selection in the root has the folder "".
    QString rootFile;
    for (const QString& n : QDir("/").entryList(QDir::Files))
        if (!n.startsWith('.')) rootFile = "/" + n;
    if (rootFile.isEmpty()) GTEST_SKIP() << "no ordinary file in /";
    fx.dialogs.fileAnswers = {rootFile};
    f->intake->CmdAddMp4_Click();
    ASSERT_EQ(DataRows(), 3);
    EXPECT_EQ(Row(3)[0], rootFile.mid(1));
    EXPECT_EQ(Row(3)[1], "");
}

TEST_F(IntakeTest, AModeSwitchDuringAMultipleAddClearsTheListAndTheAddGoesOn) {
    const QString v = Dir("v");
    for (const char* n : {"1.mp4", "2.mp4", "3.mp4"}) ASSERT_TRUE(PlaceVideo(v + "/" + n, 160, 120));
    Mode(4);
    AtNextYield([this] { Mode(3); });
    fx.dialogs.fileAnswers = {Multi(v, {"1.mp4", "2.mp4", "3.mp4"})};
    f->intake->CmdAddMp4_Click();
    // Row 1 went with the switch; the rest follow the new mode's layout.
    EXPECT_EQ(Names(), (QStringList{"2.mp4", "3.mp4"}));
    EXPECT_EQ(Names(4), (QStringList{"", ""}));
    EXPECT_EQ(f->Stb->PanelText(3), "文件数：2");
    ExpectLastInfo("视频文件添加完毕！");
    ExpectIdle();
}

TEST_F(IntakeTest, ChMp3CheckedDuringAMultipleAddClearsTheListAndNamesTheEnd) {
    const QString v = Dir("v");
    for (const char* n : {"1.mp4", "2.mp4", "3.mp4"}) ASSERT_TRUE(PlaceVideo(v + "/" + n, 160, 120));
    const QString cover = Dir("c") + "/cover.png";
    ASSERT_TRUE(PlacePicture(cover));
    Mode(2);
    f->LBase->setText(cover);
    AtNextYield([this] { f->ChMp3->setChecked(true); });
    fx.dialogs.fileAnswers = {Multi(v, {"1.mp4", "2.mp4", "3.mp4"})};
    f->intake->CmdAddMp4_Click();
    EXPECT_EQ(Names(), (QStringList{"2.mp4", "3.mp4"}));
    EXPECT_EQ(f->Stb->PanelText(3), "文件数：2");
    ExpectLastInfo("Mp3文件添加完毕！");  // the box as it stands at the end
    ExpectIdle();
}

TEST_F(IntakeTest, ClosingTheWindowDuringAnAddStopsIt) {
    const QString v = Dir("v");
    for (const char* n : {"1.mp4", "2.mp4", "3.mp4"}) ASSERT_TRUE(PlaceVideo(v + "/" + n, 160, 120));
    Mode(3);
    f->show();
    fx.dialogs.answers = {MsgResult::Ok};  // the close question
    AtNextYield([this] { f->close(); });
    fx.dialogs.fileAnswers = {Multi(v, {"1.mp4", "2.mp4", "3.mp4"})};
    f->intake->CmdAddMp4_Click();
    EXPECT_TRUE(f->IsClosed());
    EXPECT_EQ(DataRows(), 1);
    EXPECT_EQ(Last()->text, "确定关闭程序？");  // no end message after the close
}
