#include "app/Form1.h"
#include "app/StatusPanels.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "support/FormFixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

QStringList headers(Form1& f) {
    QStringList h;
    for (int c = 0; c < 6; ++c) h << f.MSF->TextMatrix(0, c);
    return h;
}

struct ModeExpect {
    int mode;
    const char* add;
    const char* cover;
    const char* read;
    const char* baseVC;
    const char* base;
    QStringList headers;
    const char* doCaption;
    bool coverEnabled, outDirEnabled, saveAs, saveAsEnabled, num, numEnabled;
    bool autoMatchShown, asHeadShown, fileNameAsEnabled, delRecoverEnabled, otherEnabled;
    bool cutEnabled, frame3Enabled, mp3Enabled;
};

const QStringList kVideoHeaders{"视频文件名", "视频文件路径", "视频宽", "视频高", "图片文件", "状态"};

}  // namespace

TEST(ModeSwitch, EveryModeFromStartUp) {
    const ModeExpect table[] = {
        {0, "指定视频...", "添加封面图...", "读入封面", "基准视频：", "基准视频未指定",
         {"封面文件名", "封面文件路径", "视频宽", "视频高", "视频文件", "状态"}, "更换封面",
         true, true, true, false, true, true, false, false, false, false, true, true, false, true},
        {1, "添加视频...", "指定封面图...", "读入视频", "封面图片：", "封面图片未指定", kVideoHeaders, "更换封面",
         true, true, true, true, false, false, true, false, false, false, true, true, false, true},
        {2, "添加视频...", "指定封面图...", "读入视频", "基准封面：", "基准封面未指定", kVideoHeaders, "更换封面",
         true, true, true, true, false, false, false, false, false, false, true, true, false, true},
        {3, "添加视频...", "指定封面图...", "读入视频", "封面图片：", "封面图片未指定", kVideoHeaders, "更换封面",
         false, true, true, true, false, false, false, true, true, true, true, true, true, false},
        // Mode 4 keeps what mode 0 (start-up) left in the captions and headers.
        {4, "指定视频...", "添加封面图...", "读入视频", "基准视频：", "基准视频未指定",
         {"封面文件名", "封面文件路径", "视频宽", "视频高", "视频文件", "状态"}, "截取封面",
         false, false, false, false, false, false, false, false, false, false, false, false, false, false},
    };
    for (const auto& e : table) {
        FormFixture fx;
        ASSERT_TRUE(fx.Load());
        Form1& f = *fx.form;
        FileListController::AddRow(f, "a.mp4\t/x\t1\t2\t/c.png");
        f.CmbType->SetListIndex(e.mode);
        SCOPED_TRACE(e.mode);
        EXPECT_EQ(f.MSF->Rows(), 1);
        EXPECT_EQ(f.Stb->PanelText(3), "文件数：0");
        EXPECT_EQ(f.CmdAddMp4->text(), e.add);
        EXPECT_EQ(f.CmdCover->text(), e.cover);
        EXPECT_EQ(f.CmdReadMp4->text(), e.read);
        EXPECT_EQ(f.LBaseVC->text(), e.baseVC);
        EXPECT_EQ(f.LBase->text(), e.base);
        EXPECT_EQ(headers(f), e.headers);
        EXPECT_EQ(f.CmdDo->text(), e.doCaption);
        EXPECT_EQ(OwnEnabled(f.CmdCover), e.coverEnabled);
        EXPECT_EQ(OwnEnabled(f.CmdOutDir), e.outDirEnabled);
        EXPECT_EQ(f.ChSaveAs->isChecked(), e.saveAs);
        EXPECT_EQ(OwnEnabled(f.ChSaveAs), e.saveAsEnabled);
        EXPECT_EQ(f.ChNum->isChecked(), e.num);
        EXPECT_EQ(OwnEnabled(f.ChNum), e.numEnabled);
        EXPECT_EQ(OwnVisible(f.ChAutoMatch), e.autoMatchShown);
        EXPECT_EQ(OwnVisible(f.ChAsHead), e.asHeadShown);
        EXPECT_EQ(OwnEnabled(f.ChFileNameAs), e.fileNameAsEnabled);
        EXPECT_EQ(OwnEnabled(f.ChDelRecover), e.delRecoverEnabled);
        EXPECT_EQ(OwnEnabled(f.ChOther), e.otherEnabled);
        EXPECT_EQ(OwnEnabled(f.ChCutSize), e.cutEnabled);
        EXPECT_EQ(OwnEnabled(f.ChCutTime), e.cutEnabled);
        EXPECT_EQ(OwnEnabled(f.Frame3), e.frame3Enabled);
        EXPECT_EQ(OwnEnabled(f.ChMp3), e.mp3Enabled);
        EXPECT_FALSE(f.ChMp3->isChecked());
        EXPECT_FALSE(f.ChOther->isChecked());
        EXPECT_FALSE(f.ChFileNameAs->isChecked());
        EXPECT_FALSE(f.ChDelRecover->isChecked());
        EXPECT_EQ(f.MSF->columnWidth(0), 4000 / 15);
        EXPECT_EQ(f.MSF->columnWidth(5), 2500 / 15);
    }
}

TEST(ModeSwitch, ModeFourAfterModeTwoKeepsModeTwosCaptions) {
    FormFixture fx;
    ASSERT_TRUE(fx.Load());
    Form1& f = *fx.form;
    f.CmbType->SetListIndex(2);
    f.CmbType->SetListIndex(4);
    EXPECT_EQ(f.CmdAddMp4->text(), "添加视频...");
    EXPECT_EQ(f.CmdCover->text(), "指定封面图...");
    EXPECT_FALSE(OwnEnabled(f.CmdCover));
    EXPECT_EQ(f.LBaseVC->text(), "基准封面：");
    EXPECT_EQ(f.LBase->text(), "基准封面未指定");
    EXPECT_EQ(headers(f), kVideoHeaders);
}

TEST(ModeSwitch, ReselectingTheModeRunsTheSwitchAgain) {
    FormFixture fx;
    ASSERT_TRUE(fx.Load());
    Form1& f = *fx.form;
    f.CmbType->SetListIndex(2);
    f.LBase->setText("/covers/one.png");
    FileListController::AddRow(f, "a.mp4\t/x\t1\t2\t/covers/one.png");
    f.LInDir->setText("/in/");
    f.CmbType->SetListIndex(2);
    EXPECT_EQ(f.MSF->Rows(), 1);
    EXPECT_EQ(f.LBase->text(), "基准封面未指定");
    EXPECT_EQ(f.LInDir->text(), "/in/");  // folders survive a switch
    // A user's selection of the same item runs it too.
    FileListController::AddRow(f, "b.mp4\t/x\t1\t2\t/covers/one.png");
    Q_EMIT f.CmbType->activated(2);
    EXPECT_EQ(f.MSF->Rows(), 1);
}
