// The check-box reactions at window level: chains that run inside one change.
#include "app/Form1.h"
#include "app/StatusPanels.h"
#include "app/UpDown.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "options/OptionValidators.h"
#include "options/SizeSwap.h"
#include "support/FormFixture.h"
#include "support/Printing.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
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

void addRows(Form1& f, int n) {
    for (int i = 0; i < n; ++i)
        FileListController::AddRow(f, QStringLiteral("v%1.mp4\t/v\t640\t360\t/c.png").arg(i));
}

}  // namespace

TEST(Interlocks, AsHeadInModeThreeClearsTheOptionsItExcludes) {
    auto fx = loaded(3);
    Form1& f = *fx->form;
    f.ChOther->setChecked(true);
    ASSERT_EQ(f.CmbFrms->ListIndex(), 4);
    f.ChPercent->setChecked(true);
    ASSERT_EQ(f.LPos->text(), "%");
    f.TPos->setText("50");

    f.ChAsHead->setChecked(true);
    EXPECT_FALSE(f.ChOther->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChOther));
    EXPECT_FALSE(f.Frame4->isEnabled());
    EXPECT_EQ(f.CmbFrms->ListIndex(), 0);
    EXPECT_EQ(f.CmbFrms->Text(), " 保持原帧频");
    EXPECT_EQ(f.CmbComp->ListIndex(), 0);
    EXPECT_FALSE(f.ChPercent->isChecked());
    EXPECT_EQ(f.LPos->text(), "秒");
    EXPECT_EQ(f.TPos->text(), "1");
    EXPECT_FALSE(f.Frame3->isEnabled());

    f.TPos->setText("7");
    f.ChAsHead->setChecked(false);
    EXPECT_TRUE(f.Frame3->isEnabled());
    EXPECT_TRUE(OwnEnabled(f.ChOther));
    EXPECT_EQ(f.TPos->text(), "1");
}

TEST(Interlocks, AsHeadUnchecksDelRecoverAndFileNameAsWithTheirOwnReactions) {
    auto fx = loaded(3);
    Form1& f = *fx->form;
    f.ChDelRecover->setChecked(true);
    ASSERT_TRUE(OwnEnabled(f.ChDoSels));
    f.ChDoSels->setChecked(true);
    f.ChAsHead->setChecked(true);
    EXPECT_FALSE(f.ChDelRecover->isChecked());
    EXPECT_TRUE(OwnEnabled(f.ChFileNameAs));
    EXPECT_FALSE(f.ChDoSels->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChDoSels));
    EXPECT_TRUE(f.ChAsHead->isChecked());

    // Checking the file-name cover gives up the opening clip, and back.
    f.ChFileNameAs->setChecked(true);
    EXPECT_FALSE(f.ChAsHead->isChecked());
    EXPECT_TRUE(OwnEnabled(f.ChColor));
    EXPECT_TRUE(f.Frame3->isEnabled());
    f.ChAsHead->setChecked(true);
    EXPECT_FALSE(f.ChFileNameAs->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChColor));
}

TEST(Interlocks, DelRecoverBlocksFileNameAs) {
    auto fx = loaded(3);
    Form1& f = *fx->form;
    f.ChFileNameAs->setChecked(true);
    f.ChAsHead->setChecked(false);
    f.ChDelRecover->setChecked(true);
    EXPECT_FALSE(f.ChFileNameAs->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChFileNameAs));
    EXPECT_FALSE(OwnEnabled(f.ChColor));
    EXPECT_TRUE(OwnEnabled(f.ChDoSels));

    f.ChAsHead->setChecked(true);  // the opening clip in turn gives up the removal
    EXPECT_FALSE(f.ChDelRecover->isChecked());
    f.ChDelRecover->setChecked(true);
    EXPECT_FALSE(f.ChAsHead->isChecked());

    f.ChDelRecover->setChecked(false);
    EXPECT_TRUE(OwnEnabled(f.ChFileNameAs));
    EXPECT_FALSE(OwnEnabled(f.ChDoSels));
}

TEST(Interlocks, Mp3EmptiesTheListAndRelabelsPerMode) {
    struct Case {
        int mode;
        QString add, read, addMp3, readMp3;
        QStringList headers, headersMp3;  // columns 0, 1, 4
    } cases[] = {
        {0, "指定视频...", "读入封面", "指定Mp3...", "读入封面",
         {"封面文件名", "封面文件路径", "视频文件"}, {"封面文件名", "封面文件路径", "Mp3文件"}},
        {1, "添加视频...", "读入视频", "添加Mp3...", "读入Mp3",
         {"视频文件名", "视频文件路径", "图片文件"}, {"Mp3文件名", "Mp3文件路径", "图片文件"}},
        {2, "添加视频...", "读入视频", "添加Mp3...", "读入Mp3",
         {"视频文件名", "视频文件路径", "图片文件"}, {"Mp3文件名", "Mp3文件路径", "图片文件"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        auto fx = loaded(c.mode);
        Form1& f = *fx->form;
        auto headers = [&] {
            return QStringList{f.MSF->TextMatrix(0, 0), f.MSF->TextMatrix(0, 1), f.MSF->TextMatrix(0, 4)};
        };
        f.ChOther->setChecked(true);
        f.ChCutSize->setChecked(true);
        f.TSizeCut->setText("60,10,40,10%");
        addRows(f, 10);
        ASSERT_EQ(f.Stb->PanelText(3), "文件数：10");

        f.ChMp3->setChecked(true);
        EXPECT_EQ(f.MSF->Rows(), 1);
        EXPECT_EQ(f.Stb->PanelText(3), "文件数：0");
        EXPECT_EQ(f.CmdAddMp4->text(), c.addMp3);
        EXPECT_EQ(f.CmdReadMp4->text(), c.readMp3);
        EXPECT_EQ(headers(), c.headersMp3);
        EXPECT_FALSE(f.ChOther->isChecked());
        EXPECT_FALSE(OwnEnabled(f.ChOther));
        EXPECT_FALSE(f.Frame4->isEnabled());
        EXPECT_EQ(f.CmbComp->ListIndex(), 0);
        EXPECT_FALSE(f.ChCutSize->isChecked());
        EXPECT_FALSE(OwnEnabled(f.ChCutSize));
        EXPECT_FALSE(f.TSizeCut->isEnabled());
        EXPECT_EQ(f.TSizeCut->text(), "5,10,85,10%");  // its value check ran

        addRows(f, 3);
        f.ChMp3->setChecked(false);
        EXPECT_EQ(f.MSF->Rows(), 1);
        EXPECT_EQ(f.Stb->PanelText(3), "文件数：0");
        EXPECT_EQ(f.CmdAddMp4->text(), c.add);
        EXPECT_EQ(f.CmdReadMp4->text(), c.read);
        EXPECT_EQ(headers(), c.headers);
        EXPECT_TRUE(OwnEnabled(f.ChOther));
        EXPECT_TRUE(OwnEnabled(f.ChCutSize));
        EXPECT_FALSE(f.ChOther->isChecked());
    }
}

TEST(Interlocks, OtherSetsAndResetsTheFrameRateAndCompression) {
    auto fx = loaded(2);
    Form1& f = *fx->form;
    f.ChOther->setChecked(true);
    EXPECT_TRUE(f.Frame4->isEnabled());
    EXPECT_EQ(f.CmbFrms->Text(), " 20");
    EXPECT_EQ(f.CmbComp->Text(), "33");
    f.CmbFrms->SetListIndex(2);
    f.CmbComp->SetListIndex(10);
    f.ChOther->setChecked(false);
    EXPECT_FALSE(f.Frame4->isEnabled());
    EXPECT_EQ(f.CmbFrms->Text(), " 保持原帧频");
    EXPECT_EQ(f.CmbComp->Text(), "0");
    f.ChOther->setChecked(true);  // choices made in between are lost
    EXPECT_EQ(f.CmbFrms->ListIndex(), 4);
    EXPECT_EQ(f.CmbComp->ListIndex(), 33);
}

TEST(Interlocks, PercentSwitchesUnitSpinnerAndChecksTheMoment) {
    auto fx = loaded(3);
    Form1& f = *fx->form;
    EXPECT_TRUE(f.UpDown1->isEnabled());  // untouched since load
    f.TPos->setText("150");
    f.ChPercent->setChecked(true);
    EXPECT_EQ(f.LPos->text(), "%");
    EXPECT_TRUE(f.UpDown1->isEnabled());
    EXPECT_EQ(f.TPos->text(), "100");
    f.TPos->setText("9001");
    f.ChPercent->setChecked(false);
    EXPECT_EQ(f.LPos->text(), "秒");
    EXPECT_FALSE(OwnEnabled(f.UpDown1));
    EXPECT_EQ(f.TPos->text(), "1");
}

TEST(Interlocks, CutBoxesEnableTheirTexts) {
    auto fx = loaded(2);
    Form1& f = *fx->form;
    f.TSizeCut->setText("2000,0,1500,0");
    f.ChCutSize->setChecked(true);
    EXPECT_TRUE(f.TSizeCut->isEnabled());
    EXPECT_EQ(f.TSizeCut->text(), "5,0,2995,0");
    f.ChCutTime->setChecked(true);
    EXPECT_TRUE(f.TTimeCut->isEnabled());
    f.ChCutTime->setChecked(false);
    EXPECT_FALSE(f.TTimeCut->isEnabled());
    f.TSizeCut->setText("1,,,2,3,4");
    f.ChCutSize->setChecked(false);
    EXPECT_FALSE(f.TSizeCut->isEnabled());
    EXPECT_EQ(f.TSizeCut->text(), "1,2,3,4");
}

TEST(Interlocks, AutoMatchRelabelsTheCoverButton) {
    auto fx = loaded(1);
    Form1& f = *fx->form;
    f.LBase->setText("/covers/");
    f.ChAutoMatch->setChecked(true);
    EXPECT_EQ(f.CmdCover->text(), "指定封面图来源...");
    EXPECT_EQ(f.LBase->text(), "/covers/");
    f.ChAutoMatch->setChecked(false);
    EXPECT_EQ(f.CmdCover->text(), "指定封面图...");
    EXPECT_EQ(f.LBase->text(), "未指定");
}

TEST(Interlocks, SwapIsAvailableOnlyForListedFixedSizes) {
    auto fx = loaded(2);
    Form1& f = *fx->form;
    EXPECT_FALSE(OwnEnabled(f.ChSwap));  // design state, "1280x?"
    for (int i = 0; i < f.CmbSize->count(); ++i) {
        f.CmbSize->SetListIndex(i);
        EXPECT_EQ(OwnEnabled(f.ChSwap), i >= 10 && i <= 34) << i;
    }
}

TEST(Interlocks, SwapClickSwapsAndASecondClickSwapsBack) {
    auto fx = loaded(2);
    Form1& f = *fx->form;
    f.ChOther->setChecked(true);  // makes the box clickable
    f.CmbSize->SetListIndex(13);
    ASSERT_EQ(f.CmbSize->Text(), "1280x720");

    f.ChSwap->click();
    EXPECT_TRUE(f.ChSwap->isChecked());
    EXPECT_TRUE(f.ChSwap->isEnabled());
    EXPECT_EQ(f.CmbSize->Text(), "720x1280");
    EXPECT_EQ(f.CmbSize->ListIndex(), 13);  // still a listed size for the run

    // Leaving the combo keeps the swapped size.
    f.validators->CmbSize_Validate();
    EXPECT_EQ(f.CmbSize->Text(), "720x1280");
    EXPECT_TRUE(f.ChSwap->isChecked());

    f.ChSwap->click();
    EXPECT_FALSE(f.ChSwap->isChecked());
    EXPECT_EQ(f.CmbSize->Text(), "1280x720");
    EXPECT_EQ(f.CmbSize->ListIndex(), 13);
    EXPECT_TRUE(f.ChSwap->isEnabled());
}

TEST(Interlocks, SwapFollowsOtherPicksAndGivesWayToOtherTexts) {
    auto fx = loaded(2);
    Form1& f = *fx->form;
    f.ChOther->setChecked(true);
    f.CmbSize->SetListIndex(13);
    f.ChSwap->setChecked(true);
    ASSERT_EQ(f.CmbSize->Text(), "720x1280");

    // Another listed size while the box stays checked is shown swapped too.
    f.CmbSize->SetListIndex(16);
    EXPECT_TRUE(f.ChSwap->isChecked());
    EXPECT_EQ(f.CmbSize->Text(), "1080x1920");
    EXPECT_EQ(f.CmbSize->ListIndex(), 16);

    // A percentage takes the box away; its text is not touched.
    f.CmbSize->SetListIndex(5);
    EXPECT_FALSE(f.ChSwap->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChSwap));
    EXPECT_EQ(f.CmbSize->Text(), "50%");

    // Typing into a swapped size: the typed text stands, the box goes.
    f.CmbSize->SetListIndex(13);
    f.ChSwap->setChecked(true);
    ASSERT_EQ(f.CmbSize->Text(), "720x1280");
    QKeyEvent bs(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(f.CmbSize, &bs);
    EXPECT_EQ(f.CmbSize->Text(), "720x128");
    EXPECT_EQ(f.CmbSize->ListIndex(), -1);
    EXPECT_FALSE(f.ChSwap->isChecked());
    EXPECT_FALSE(OwnEnabled(f.ChSwap));
}

TEST(Interlocks, SwapReactionRaisesSmallAndOddSides) {
    auto fx = loaded(2);
    Form1& f = *fx->form;
    f.CmbSize->SetText("961x199");
    f.sizeSwap->ChSwap_Click();
    EXPECT_EQ(f.CmbSize->Text(), "200x962");

    // Nothing to swap: item 0, a percentage, a "?" size.
    for (int i : {0, 3, 35}) {
        f.CmbSize->SetListIndex(i);
        const QString before = f.CmbSize->Text();
        f.sizeSwap->ChSwap_Click();
        EXPECT_EQ(f.CmbSize->Text(), before) << i;
    }
}
