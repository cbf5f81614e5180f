#include "app/Form1.h"
#include "app/StatusPanels.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "support/FormFixture.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

#include <optional>

namespace {

QStringList headers(Form1& f) {
    QStringList h;
    for (int c = 0; c < 6; ++c) h << f.MSF->TextMatrix(0, c);
    return h;
}

}  // namespace

TEST(Startup, OpensInModeZeroWithTheDesignState) {
    FormFixture fx(true);
    ASSERT_TRUE(fx.Load());
    Form1& f = *fx.form;
    EXPECT_EQ(f.windowTitle(), "沃岑视频封面批量替换器");
    EXPECT_EQ(f.ProcessingMode(), 0);
    EXPECT_EQ(headers(f), (QStringList{"封面文件名", "封面文件路径", "视频宽", "视频高", "视频文件", "状态"}));
    EXPECT_TRUE(f.ChNum->isChecked());
    EXPECT_TRUE(f.ChSaveAs->isChecked());
    EXPECT_FALSE(f.ChSaveAs->isEnabled());
    ASSERT_EQ(f.CmbComp->count(), 51);
    EXPECT_EQ(f.CmbComp->itemText(0), "0");
    EXPECT_EQ(f.CmbComp->itemText(50), "50");
    EXPECT_EQ(f.CmbComp->ListIndex(), 0);
    EXPECT_EQ(f.CmbFrms->ListIndex(), 0);
    EXPECT_EQ(f.CmbABit->ListIndex(), 0);
    EXPECT_EQ(f.CmbARate->ListIndex(), 0);
    EXPECT_EQ(f.CmbVCode->ListIndex(), 0);
    EXPECT_EQ(f.Stb->PanelText(3), "文件数：0");
    EXPECT_EQ(f.Stb->PanelText(4), "状态：未就绪");
    EXPECT_EQ(f.LDir->text(), fx.AppPath() + "/Temp/");
    EXPECT_TRUE(QFileInfo(fx.AppPath() + "/Temp").isDir());
    EXPECT_EQ(f.TV->text(), "023");
    EXPECT_FALSE(f.TV->isVisible());
    EXPECT_FALSE(f.CmdUpdate->isEnabled());
    EXPECT_TRUE(OwnEnabled(f.ChSpeed));
    EXPECT_FALSE(f.CmdStop->isVisibleTo(&f));
    EXPECT_EQ(f.TTimeCut->text(), "5,3");
    EXPECT_EQ(f.TSizeCut->text(), "1,2,3,4");
    EXPECT_FALSE(f.TTimeCut->isEnabled());
    EXPECT_FALSE(f.Frame4->isEnabled());
    EXPECT_TRUE(f.VideoFilter.startsWith("媒体文件|*.mpeg;"));
    EXPECT_TRUE(f.VideoFilter.endsWith("*.flv|其他媒体文件(慎用，可能出错或无结果)|*.*"));
    EXPECT_EQ(f.VideoFilter.count("*."), 43);
    EXPECT_EQ(f.CdgMp4.Filter, f.VideoFilter);
    // Every named control is found by its name.
    for (const char* name : {"CmdAddMp4", "CmdCover", "CmdReadMp4", "CmdDel", "CmdIndir", "CmdOutDir", "CmdDo",
                             "CmdStop", "CmdAbout", "CmdUpdate", "ChAsHead", "ChAutoMatch", "ChMp3", "ChDoSels",
                             "ChDelRecover", "ChColor", "ChFileNameAs", "ChCutTime", "ChCutSize", "ChPercent",
                             "ChNum", "ChSaveAs", "ChSub", "ChOther", "ChSpeed", "ChSwap", "CmbType", "CmbSize",
                             "CmbVBit", "CmbFrms", "CmbVCode", "CmbABit", "CmbARate", "CmbComp", "TPos",
                             "TSizeCut", "TTimeCut", "TV", "LBaseVC", "LBase", "LInDir", "LDir", "LPos",
                             "UpDown1", "MSF", "Stb", "Frame1", "Frame2", "Frame3", "Frame4"})
        EXPECT_NE(f.findChild<QWidget*>(name), nullptr) << name;
}

TEST(Startup, PutsTheEncoderInPlaceAndShutdownRemovesIt) {
    FormFixture fx(true);
    ASSERT_TRUE(fx.Load());
    const QFileInfo exe(fx.AppPath() + "/Mezzor.exe");
    ASSERT_TRUE(exe.isFile());
    EXPECT_TRUE(exe.isExecutable());
    EXPECT_EQ(exe.size(), QFileInfo(fx.AppPath() + "/Mezzor.dll").size());

    // Cancel keeps the window and the encoder.
    fx.dialogs.answers = {MsgResult::Cancel};
    fx.processes.running = {"bash", "Mezzor.exe"};
    bool cancel = false;
    fx.form->Form_Unload(cancel);
    EXPECT_TRUE(cancel);
    EXPECT_TRUE(QFileInfo::exists(exe.filePath()));
    ASSERT_EQ(fx.dialogs.messages.size(), 1u);
    const auto& m = fx.dialogs.messages.back();
    EXPECT_EQ(m.text, "确定关闭程序？");
    EXPECT_EQ(m.title, "消息");
    EXPECT_EQ(m.icon, MsgIcon::Information);
    EXPECT_EQ(m.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(m.defaultButton, 1);

    fx.dialogs.answers = {MsgResult::Ok};
    cancel = false;
    fx.form->Form_Unload(cancel);
    EXPECT_FALSE(cancel);
    EXPECT_EQ(fx.processes.killed, QStringList{"Mezzor.exe"});
    EXPECT_FALSE(QFileInfo::exists(exe.filePath()));
}

TEST(Startup, MissingEncoderLibraryIsIgnored) {
    FormFixture fx(false);
    ASSERT_TRUE(fx.Load());
    EXPECT_FALSE(QFileInfo::exists(fx.AppPath() + "/Mezzor.exe"));
    fx.dialogs.answers = {MsgResult::Ok};
    bool cancel = false;
    fx.form->Form_Unload(cancel);  // nothing to kill or delete: silent
    EXPECT_FALSE(cancel);
}

TEST(Startup, HardwareDecoderSettings) {
    struct Case {
        std::optional<QString> acc, can;
        bool speedEnabled;
        int accIndex;
    } cases[] = {
        {std::nullopt, std::nullopt, true, -1},
        {std::nullopt, QString("0"), true, -1},  // CanAcc unread without AccIndex
        {QString("0"), std::nullopt, false, 0},
        {QString("1"), QString("0"), false, 1},
        {QString("0"), QString("1"), true, 0},
        {QString("1"), QString("True"), true, 1},
        {QString("abc"), QString("0"), true, -1},  // not a number: as missing
        {QString("70000"), QString("0"), true, -1},
        {QString("0"), QString("maybe"), false, 0},
    };
    for (const auto& c : cases) {
        FormFixture fx;
        if (c.acc) fx.settings.values["AccIndex"] = *c.acc;
        if (c.can) fx.settings.values["CanAcc"] = *c.can;
        ASSERT_TRUE(fx.Load());
        EXPECT_EQ(OwnEnabled(fx.form->ChSpeed), c.speedEnabled) << c.acc.value_or("-").toStdString();
        EXPECT_EQ(fx.form->AccIndex, c.accIndex);
    }
}

TEST(Startup, RefusesASecondInstance) {
    // "是", "否", and Escape (or closing the box), which answers "是".
    for (const std::optional<MsgResult> answer :
         {std::optional<MsgResult>(MsgResult::Yes), std::optional<MsgResult>(MsgResult::No),
          std::optional<MsgResult>()}) {
        FormFixture fx;
        fx.processes.running = {"init", "plindor", "plindor-helper"};
        if (answer) fx.dialogs.answers = {*answer};
        else fx.dialogs.escapes = 1;
        EXPECT_FALSE(fx.Load());
        ASSERT_EQ(fx.dialogs.messages.size(), 1u);
        const auto& m = fx.dialogs.messages[0];
        EXPECT_EQ(m.text, "程序正在运行中，禁止重复运行！\r\n是——放弃重复运行\r\n否——强制终止正在运行中的本程序");
        EXPECT_EQ(m.buttons, MsgButtons::YesNo);
        EXPECT_EQ(m.icon, MsgIcon::Exclamation);
        EXPECT_EQ(m.defaultButton, 0);
        EXPECT_EQ(m.escapeButton, 0);
        if (answer == MsgResult::No) EXPECT_EQ(fx.processes.killed, QStringList{"plindor"});
        else EXPECT_TRUE(fx.processes.killed.isEmpty());
        EXPECT_EQ(fx.form->Stb->PanelText(4), "状态：未就绪");  // nothing of the start-up ran
    }
}

TEST(Startup, AboutAndStatusBarPanels) {
    FormFixture fx;
    ASSERT_TRUE(fx.Load());
    fx.form->CmdAbout_Click();
    ASSERT_EQ(fx.dialogs.messages.size(), 1u);
    EXPECT_TRUE(fx.dialogs.messages[0].text.startsWith("本程序适用于更改视频封面图的场合，适合自媒体个人/单位等使用。"));
    EXPECT_EQ(fx.dialogs.messages[0].icon, MsgIcon::Information);
    for (int p = 1; p <= 7; ++p) fx.form->Stb_PanelClick(p);
    ASSERT_EQ(fx.shell.calls.size(), 2u);
    EXPECT_TRUE(fx.shell.calls[0].target.startsWith("http"));
}
