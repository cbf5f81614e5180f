// What the mode switch leaves behind once the reactions of the boxes it
// resets have run inside it.
#include "app/Form1.h"
#include "app/StatusPanels.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "support/FormFixture.h"
#include "support/Printing.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<FormFixture> loaded(int mode) {
    auto fx = std::make_unique<FormFixture>();
    EXPECT_TRUE(fx->Load());
    fx->form->CmbType->SetListIndex(mode);
    return fx;
}

QStringList headers(Form1& f) {
    QStringList h;
    for (int c = 0; c < 6; ++c) h << f.MSF->TextMatrix(0, c);
    return h;
}

}  // namespace

TEST(ModeConsequences, Mp3CheckedInModeTwoThenModeOne) {
    auto fx = loaded(2);
    Form1& f = *fx->form;
    f.ChMp3->setChecked(true);
    FileListController::AddRow(f, "a.mp3\t/m\t0\t0\t/c.png");
    f.CmbType->SetListIndex(1);
    EXPECT_FALSE(f.ChMp3->isChecked());
    EXPECT_TRUE(OwnEnabled(f.ChMp3));
    EXPECT_EQ(f.MSF->Rows(), 1);
    EXPECT_EQ(f.Stb->PanelText(3), "文件数：0");
    EXPECT_EQ(f.CmdAddMp4->text(), "添加视频...");
    EXPECT_EQ(f.CmdReadMp4->text(), "读入视频");
    EXPECT_EQ(headers(f), (QStringList{"视频文件名", "视频文件路径", "视频宽", "视频高", "图片文件", "状态"}));
}

TEST(ModeConsequences, Mp3UncheckedByModeFourEnablesOtherAndCutSize) {
    auto fx = loaded(2);
    Form1& f = *fx->form;
    f.ChMp3->setChecked(true);
    f.CmbType->SetListIndex(4);
    EXPECT_FALSE(f.ChMp3->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChMp3));
    // The reaction runs after the mode's own settings and so has the last word.
    EXPECT_TRUE(OwnEnabled(f.ChOther));
    EXPECT_TRUE(OwnEnabled(f.ChCutSize));
    EXPECT_FALSE(OwnEnabled(f.ChCutTime));
    EXPECT_EQ(f.CmdAddMp4->text(), "添加视频...");
    EXPECT_EQ(f.CmdReadMp4->text(), "读入视频");
    // Mode 4 keeps mode 2's headers, but in their video forms.
    EXPECT_EQ(headers(f), (QStringList{"视频文件名", "视频文件路径", "视频宽", "视频高", "图片文件", "状态"}));
}

TEST(ModeConsequences, FrameModesShowVideoHeadersAfterMp3) {
    struct Case {
        int from, to;
        QStringList expected;
    };
    const QStringList video{"视频文件名", "视频文件路径", "视频宽", "视频高", "图片文件", "状态"};
    const Case cases[] = {
        {2, 3, video},
        {1, 3, video},
        {0, 3, video},
        {1, 4, video},
        // Mode 4 keeps mode 0's headers; its column 4 loses the Mp3 form.
        {0, 4, {"封面文件名", "封面文件路径", "视频宽", "视频高", "视频文件", "状态"}},
    };
    for (const Case& k : cases) {
        auto fx = loaded(k.from);
        Form1& f = *fx->form;
        f.ChMp3->setChecked(true);
        f.CmbType->SetListIndex(k.to);
        EXPECT_FALSE(f.ChMp3->isChecked());
        EXPECT_EQ(headers(f), k.expected) << k.from << " to " << k.to;
    }
}

TEST(ModeConsequences, Mp3UncheckedIntoModeZeroRewritesItsHeader) {
    auto fx = loaded(0);
    Form1& f = *fx->form;
    f.ChMp3->setChecked(true);
    ASSERT_EQ(f.MSF->TextMatrix(0, 4), "Mp3文件");
    ASSERT_EQ(f.CmdAddMp4->text(), "指定Mp3...");
    f.CmbType->SetListIndex(0);
    // Step 13 writes the column from the box still checked; the reaction of
    // step 14 puts the video form back.
    EXPECT_EQ(f.MSF->TextMatrix(0, 4), "视频文件");
    EXPECT_EQ(f.CmdAddMp4->text(), "指定视频...");
}

TEST(ModeConsequences, OtherDelRecoverFileNameAsAndAsHeadReactInsideTheSwitch) {
    auto fx = loaded(3);
    Form1& f = *fx->form;
    f.ChOther->setChecked(true);
    f.ChFileNameAs->setChecked(true);
    ASSERT_TRUE(OwnEnabled(f.ChColor));
    f.ChDelRecover->setChecked(true);
    f.ChDoSels->setChecked(true);
    f.CmbType->SetListIndex(2);
    EXPECT_FALSE(f.ChOther->isChecked());
    EXPECT_FALSE(f.Frame4->isEnabled());
    EXPECT_EQ(f.CmbFrms->ListIndex(), 0);
    EXPECT_EQ(f.CmbComp->ListIndex(), 0);
    EXPECT_FALSE(f.ChDelRecover->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChDelRecover));
    // The removal's reaction ran after step 6 and enabled the file-name box again.
    EXPECT_TRUE(OwnEnabled(f.ChFileNameAs));
    EXPECT_FALSE(f.ChDoSels->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChDoSels));
    EXPECT_FALSE(f.ChFileNameAs->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChColor));
}

TEST(ModeConsequences, AsHeadUncheckedByReselectingModeThree) {
    auto fx = loaded(3);
    Form1& f = *fx->form;
    f.ChAsHead->setChecked(true);
    ASSERT_FALSE(f.Frame3->isEnabled());
    f.TPos->setText("42");
    f.CmbType->SetListIndex(3);
    EXPECT_FALSE(f.ChAsHead->isChecked());
    EXPECT_TRUE(OwnVisible(f.ChAsHead));
    EXPECT_TRUE(f.Frame3->isEnabled());
    EXPECT_TRUE(OwnEnabled(f.ChOther));
    EXPECT_EQ(f.TPos->text(), "1");
}

TEST(ModeConsequences, AutoMatchUncheckedByReselectingModeOne) {
    auto fx = loaded(1);
    Form1& f = *fx->form;
    f.ChAutoMatch->setChecked(true);
    f.CmbType->SetListIndex(1);
    EXPECT_FALSE(f.ChAutoMatch->isChecked());
    EXPECT_EQ(f.CmdCover->text(), "指定封面图...");
    EXPECT_EQ(f.LBase->text(), "未指定");
}

TEST(ModeConsequences, ModeFourUnchecksTheCutsAndDisablesTheirTexts) {
    auto fx = loaded(2);
    Form1& f = *fx->form;
    f.ChCutSize->setChecked(true);
    f.ChCutTime->setChecked(true);
    f.TSizeCut->setText("60,10,40,10%");
    f.CmbType->SetListIndex(4);
    EXPECT_FALSE(f.ChCutSize->isChecked());
    EXPECT_FALSE(f.ChCutTime->isChecked());
    EXPECT_FALSE(f.TSizeCut->isEnabled());
    EXPECT_FALSE(f.TTimeCut->isEnabled());
    EXPECT_EQ(f.TSizeCut->text(), "5,10,85,10%");
}

TEST(ModeConsequences, AnUncheckedBoxRunsNothing) {
    // The switch unchecks boxes that are already unchecked: no reaction may
    // touch what they guard.
    auto fx = loaded(2);
    Form1& f = *fx->form;
    f.CmbComp->SetListIndex(20);
    f.TSizeCut->setText("9999,0,0,0");
    f.CmbType->SetListIndex(3);
    EXPECT_EQ(f.CmbComp->ListIndex(), 20);
    EXPECT_EQ(f.TSizeCut->text(), "9999,0,0,0");
}
