// The run's frame with a scripted encoder: refusals, the row range, progress
// texts, the stop, the end, the attempts and the hardware record.
#include "BatchFixture.h"

#include "platform/Settings.h"

#include <gtest/gtest.h>

using namespace batch_test;

namespace {

const QString kDoneOutput = "处理完毕！\r\n要打开输出目录吗？";
const QString kDoneFirst = "处理完毕！\r\n要打开第一个视频的目录吗？";

// Mode 2 with `rows` videos (plain files: the scripted encoder reads nothing)
// and one real cover picture.
void ModeTwoRows(BatchWindow& w, int rows) {
    w.Mode(2);
    ASSERT_TRUE(PlacePicture(w.Path("cover.png")));
    w.form().LBase->setText(w.Path("cover.png"));
    for (int i = 1; i <= rows; ++i) {
        ASSERT_TRUE(WriteBytes(w.Path(QString("v%1.mp4").arg(i)), "source " + QByteArray::number(i)));
        w.AddVideo(QString("v%1.mp4").arg(i), w.Path("cover.png"));
    }
}

bool StartsWith(const QStringList& args, const QString& first) { return !args.isEmpty() && args.first() == first; }
bool IsQsv(const QStringList& a) { return a.mid(0, 2) == QStringList{"-c:v", "h264_qsv"}; }
bool IsCuvid(const QStringList& a) { return a.mid(0, 2) == QStringList{"-c:v", "h264_cuvid"}; }
bool IsSoftware(const QStringList& a) { return StartsWith(a, "-threads"); }

void ExpectIdle(Form1& f) {
    EXPECT_FALSE(f.Busy);
    EXPECT_TRUE(f.CmdDo->isEnabled());
    EXPECT_FALSE(OwnVisible(f.CmdStop));
    EXPECT_TRUE(f.Frame1->isEnabled());
    EXPECT_TRUE(f.Frame2->isEnabled());
    EXPECT_EQ(f.Frame4->isEnabled(), f.ChOther->isChecked());
}

}  // namespace

TEST(BatchFrame, RefusalsChangeNothing) {
    struct Case {
        const char* name;
        std::function<void(BatchWindow&)> setUp;
        QString message;
    };
    const std::vector<Case> cases{
        {"32-bit", [](BatchWindow& w) { ModeTwoRows(w, 1), w.form().IsWow64Flag = false; },
         "本程序必须在64位操作系统下使用！\r\n如果非要在32位系统下使用，则须报告定制，并且只能处理文件不大于250M的MP4"},
        {"empty list", [](BatchWindow& w) { w.Mode(2); }, "请先加载文件列表！"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BatchWindow w(false);
        ASSERT_TRUE(w.loaded);
        c.setUp(w);
        const QString progress = w.form().ProgressText();
        w.Run();
        ASSERT_EQ(w.dialogs().messages.size(), 1u);
        EXPECT_EQ(w.dialogs().messages[0].text, c.message);
        EXPECT_EQ(w.dialogs().messages[0].title, "消息");
        EXPECT_EQ(w.dialogs().messages[0].icon, MsgIcon::Critical);
        EXPECT_TRUE(w.fakeShell.starts.empty());
        EXPECT_EQ(w.form().ProgressText(), progress);
        ExpectIdle(w.form());
        EXPECT_EQ(w.fx.control.ended, 0);
    }
}

TEST(BatchFrame, MissingResourcesEndTheProgramUnlessMp3) {
    // A first row without a height, and a media library that reads: a bad
    // or audio-only file, and the run goes on.
    BatchWindow g(false);
    ASSERT_TRUE(g.loaded);
    ModeTwoRows(g, 2);
    g.form().MSF->SetTextMatrix(1, ColHeight, " 0 px");
    g.Run();
    EXPECT_TRUE(g.dialogs().messages.empty() ||
                g.dialogs().messages[0].text != "本机缺失资源文件，请重新下载安装包，然后以管理员权限重新覆盖安装！");
    EXPECT_EQ(g.fx.control.ended, 0);
    EXPECT_EQ(g.fakeShell.starts.size(), 2u);
    EXPECT_EQ(g.Status(2), "Ok");

    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    ModeTwoRows(w, 2);
    w.form().MSF->SetTextMatrix(1, ColHeight, " 0 px");
    w.form().batch->SetLibraryCheck([] { return false; });
    w.Run();
    ASSERT_EQ(w.dialogs().messages.size(), 1u);
    EXPECT_EQ(w.dialogs().messages[0].text, "本机缺失资源文件，请重新下载安装包，然后以管理员权限重新覆盖安装！");
    EXPECT_EQ(w.fx.control.ended, 1);
    ASSERT_EQ(w.fakeShell.calls.size(), 1u);
    EXPECT_EQ(w.fakeShell.calls[0].what, "open");
    EXPECT_EQ(w.fakeShell.calls[0].target, qEnvironmentVariable("PLINDOR_UPDATE_BASE") + "downs/Plindor_Setup.rar");
    EXPECT_TRUE(w.fakeShell.starts.empty());

    // MP3 rows have no picture height: the run goes on.
    BatchWindow m(false);
    ASSERT_TRUE(m.loaded);
    m.Mode(2);
    m.form().ChMp3->setChecked(true);
    ASSERT_TRUE(PlacePicture(m.Path("cover.png")));
    m.form().LBase->setText(m.Path("cover.png"));
    ASSERT_TRUE(WriteBytes(m.Path("a.mp3"), "mp3"));
    m.AddRow("a.mp3", m.work.path(), "0", "0", m.Path("cover.png"));
    m.Run();
    EXPECT_EQ(m.fx.control.ended, 0);
    EXPECT_EQ(m.fakeShell.starts.size(), 1u);
    EXPECT_EQ(m.Status(1), "Ok");
}

TEST(BatchFrame, SelectedBlockIsTheRangeWhicheverWayItWasDragged) {
    for (const bool upwards : {true, false}) {
        BatchWindow w(false);
        ASSERT_TRUE(w.loaded);
        ModeTwoRows(w, 8);
        w.form().ChDoSels->setChecked(true);
        w.form().MSF->SetRow(upwards ? 7 : 3);
        w.form().MSF->SetRowSel(upwards ? 3 : 7);
        QStringList progress;
        QStringList statusAtStart;
        w.fakeShell.onStart = [&](const QStringList&) {
            progress << w.form().ProgressText();
            statusAtStart << w.Status(w.State().CurrentRow);
        };
        w.Run();
        EXPECT_EQ(progress, (QStringList{"状态：视频封面更换中...已处理：3/7", "状态：视频封面更换中...已处理：4/7",
                                         "状态：视频封面更换中...已处理：5/7", "状态：视频封面更换中...已处理：6/7",
                                         "状态：视频封面更换中...已处理：7/7"}));
        EXPECT_EQ(statusAtStart, QStringList(5, "封面更换中..."));
        for (int r = 1; r <= 8; ++r) EXPECT_EQ(w.Status(r), r >= 3 && r <= 7 ? "Ok" : "") << r;
        EXPECT_EQ(w.State().FirstRow, "3");
        EXPECT_EQ(w.State().LastRow, "7");
    }

    // Without an extended selection: the current row alone.
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    ModeTwoRows(w, 4);
    w.form().ChDoSels->setChecked(true);
    w.form().MSF->SetRow(2);
    w.Run();
    EXPECT_EQ(w.fakeShell.starts.size(), 1u);
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(w.Status(1), "");
}

TEST(BatchFrame, RowsAreSelectedAndScrolledIntoView) {
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    ModeTwoRows(w, 13);
    std::vector<std::array<int, 3>> seen;  // row, top row, selected columns end
    w.fakeShell.onStart = [&](const QStringList&) {
        seen.push_back({w.form().MSF->Row(), w.form().MSF->TopRow(), w.form().MSF->ColSel()});
    };
    w.Run();
    ASSERT_EQ(seen.size(), 13u);
    EXPECT_EQ(seen[9], (std::array<int, 3>{10, 1, 5}));
    EXPECT_EQ(seen[10], (std::array<int, 3>{11, 6, 5}));
    EXPECT_EQ(seen[12], (std::array<int, 3>{13, 8, 5}));
    // The end puts row 1 back on top.
    EXPECT_EQ(w.form().MSF->Row(), 1);
    EXPECT_EQ(w.form().MSF->TopRow(), 1);
    EXPECT_EQ(w.form().ProgressText(), "状态：更换封面处理完毕！");
}

TEST(BatchFrame, StopTakesEffectAfterTheCurrentRow) {
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    ModeTwoRows(w, 5);
    int asked = 0;
    w.fakeShell.onStart = [&](const QStringList&) {
        if (w.State().CurrentRow == 1) {
            w.dialogs().answers = {MsgResult::Cancel};  // a cancelled stop changes nothing
            w.form().batch->CmdStop_Click();
            EXPECT_FALSE(w.form().StopRequested);
            EXPECT_TRUE(OwnVisible(w.form().CmdStop));
        }
        if (w.State().CurrentRow == 2) {
            ++asked;
            w.dialogs().answers = {MsgResult::Ok};
            w.form().batch->CmdStop_Click();
            EXPECT_TRUE(w.form().StopRequested);
            EXPECT_FALSE(OwnVisible(w.form().CmdStop));
        }
    };
    w.Run();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(w.fakeShell.starts.size(), 2u);
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(w.Status(2), "Ok");
    for (int r = 3; r <= 5; ++r) EXPECT_EQ(w.Status(r), "") << r;
    EXPECT_EQ(w.dialogs().messages[0].text, "终止运行？");
    EXPECT_EQ(w.dialogs().messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(w.dialogs().messages[0].defaultButton, 1);
    EXPECT_EQ(w.dialogs().LastText(), kDoneOutput);
    ExpectIdle(w.form());
    EXPECT_TRUE(w.form().StopRequested);  // until the next run clears it
}

TEST(BatchFrame, RunStateWhileRowsWork) {
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    ModeTwoRows(w, 1);
    w.fakeShell.onStart = [&](const QStringList&) {
        Form1& f = w.form();
        EXPECT_TRUE(f.Busy);
        EXPECT_TRUE(OwnVisible(f.CmdStop));
        EXPECT_FALSE(f.CmdDo->isEnabled());
        for (QWidget* c : std::initializer_list<QWidget*>{f.Frame1, f.Frame2, f.Frame4, f.ChOther})
            EXPECT_FALSE(c->isEnabled()) << c->objectName().toStdString();
    };
    w.Run();
    ExpectIdle(w.form());
    EXPECT_TRUE(w.form().ChOther->isEnabled());
}

TEST(BatchFrame, ChOtherGetsBackTheEnabledStateItHad) {
    for (const bool other : {true, false}) {
        BatchWindow w(false);
        ASSERT_TRUE(w.loaded);
        ModeTwoRows(w, 1);
        w.form().ChOther->setChecked(other);
        w.Run();
        EXPECT_TRUE(w.form().ChOther->isEnabled());
        EXPECT_EQ(w.form().Frame4->isEnabled(), other);
    }
    // Disabled by ChMp3 before the run: it stays disabled.
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    w.Mode(2);
    w.form().ChMp3->setChecked(true);
    ASSERT_TRUE(PlacePicture(w.Path("cover.png")));
    w.form().LBase->setText(w.Path("cover.png"));
    ASSERT_TRUE(WriteBytes(w.Path("a.mp3"), "mp3"));
    w.AddRow("a.mp3", w.work.path(), "0", "0", w.Path("cover.png"));
    w.Run();
    EXPECT_FALSE(w.form().ChOther->isEnabled());
}

TEST(BatchFrame, EndQuestionOpensTheOutputOrTheFirstVideo) {
    struct Case {
        int mode;
        bool saveAs;
        MsgResult answer;
        QString question;
        QString what;  // "" nothing, "open", "select"
    };
    const std::vector<Case> cases{
        {2, true, MsgResult::Yes, kDoneOutput, "open"},   {2, true, MsgResult::No, kDoneOutput, ""},
        {1, false, MsgResult::Yes, kDoneFirst, "select"}, {1, true, MsgResult::Yes, kDoneFirst, "open"},
        {1, false, MsgResult::No, kDoneFirst, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QString("mode %1 saveAs %2").arg(c.mode).arg(c.saveAs).toStdString());
        BatchWindow w(false);
        ASSERT_TRUE(w.loaded);
        w.Mode(c.mode);
        ASSERT_TRUE(PlacePicture(w.Path("cover.png")));
        w.form().LBase->setText(w.Path("cover.png"));
        w.form().ChSaveAs->setChecked(c.saveAs);
        ASSERT_TRUE(WriteBytes(w.Path("v1.mp4"), "x"));
        w.AddVideo("v1.mp4", w.Path("cover.png"));
        w.dialogs().answers = {c.answer};
        w.Run();
        ASSERT_FALSE(w.dialogs().messages.empty());
        const RecordedMessage& m = w.dialogs().messages.back();
        EXPECT_EQ(m.text, c.question);
        EXPECT_EQ(m.icon, MsgIcon::Information);
        EXPECT_EQ(m.buttons, MsgButtons::YesNo);
        EXPECT_EQ(m.defaultButton, 0);
        if (c.what.isEmpty()) {
            EXPECT_TRUE(w.fakeShell.calls.empty() || w.fakeShell.calls.back().what == "start");
        } else {
            ASSERT_FALSE(w.fakeShell.calls.empty());
            EXPECT_EQ(w.fakeShell.calls.back().what, c.what);
            EXPECT_EQ(w.fakeShell.calls.back().target,
                      c.what == "open" ? w.form().LDir->text() : w.work.path() + "/v1.mp4");
        }
    }
}

TEST(BatchFrame, ModeZeroNamesTheSeriesAfterTheBaseVideo) {
    struct Case {
        QString base;
        bool numbered;
        QStringList outputs;
    };
    const std::vector<Case> cases{
        {"base.mp4", true, {"base(2).mp4", "base(3).mp4"}},
        {"base.mp4", false, {"base_sun.mp4", "base_moon.mp4"}},
        // A name without "." has no container that could carry a cover.
        {"nodot", true, {}},
    };
    for (const auto& c : cases) {
        BatchWindow w(false);
        ASSERT_TRUE(w.loaded);
        w.Mode(0);
        w.form().ChNum->setChecked(c.numbered);
        w.form().LBase->setText(w.Path(c.base));
        for (const QString pic : {"star.png", "sun.jpg", "moon.png"}) {
            ASSERT_TRUE(PlacePicture(w.Path(pic)));
            w.AddRow(pic, w.work.path(), "320", "240", w.Path(c.base));
        }
        w.form().ChDoSels->setChecked(true);
        w.form().MSF->SetRow(2);
        w.form().MSF->SetRowSel(3);
        w.Run();
        if (c.outputs.isEmpty()) {
            EXPECT_TRUE(w.fakeShell.starts.empty());
            EXPECT_EQ(w.Status(2), "更换失败");
            EXPECT_EQ(w.Status(3), "更换失败");
            continue;
        }
        ASSERT_EQ(w.fakeShell.starts.size(), 2u);
        for (int i : {0, 1}) {
            EXPECT_TRUE(WorkFileOf(w.fakeShell.starts[i].last(), w.Out(c.outputs[i])));
            EXPECT_EQ(QFileInfo(w.Out(c.outputs[i])).size(), 4096);
        }
        EXPECT_EQ(WorkLeftovers(w.Out("")), QStringList());
        EXPECT_EQ(w.fakeShell.starts[0][3], w.Path(c.base));
        EXPECT_EQ(w.fakeShell.starts[0][5], w.fx.AppPath() + "/Cover.png");
    }
}

TEST(BatchFrame, ARowWithoutItsCoverFailsAndTheNextRuns) {
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    w.Mode(1);
    for (int i = 1; i <= 2; ++i) {
        ASSERT_TRUE(WriteBytes(w.Path(QString("v%1.mp4").arg(i)), "x"));
        ASSERT_TRUE(PlacePicture(w.Path(QString("c%1.png").arg(i))));
        w.AddVideo(QString("v%1.mp4").arg(i), w.Path(QString("c%1.png").arg(i)));
    }
    QFile::remove(w.Path("c1.png"));
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(w.fakeShell.starts.size(), 1u);
}

TEST(BatchFrame, AnAttemptIsJudgedBySizeAndExitStatus) {
    struct Case {
        long long bytes;
        int exit;
        QString status;
    };
    const std::vector<Case> cases{{524, 0, "更换失败"}, {525, 0, "Ok"}, {0, 0, "更换失败"}, {-1, 0, "更换失败"},
                                  {200000, 69, "更换失败"}, {200000, 137, "更换失败"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(QString("%1 bytes, exit %2").arg(c.bytes).arg(c.exit).toStdString());
        BatchWindow w(false);
        ASSERT_TRUE(w.loaded);
        ModeTwoRows(w, 1);
        w.form().ChSaveAs->setChecked(false);  // in place
        w.fakeShell.script = {{c.bytes, c.exit}};
        w.Run();
        EXPECT_EQ(w.Status(1), c.status);
        QFile src(w.Path("v1.mp4"));
        ASSERT_TRUE(src.open(QIODevice::ReadOnly));
        const QByteArray now = src.readAll();
        if (c.status == "Ok")
            EXPECT_EQ(now, QByteArray(static_cast<int>(c.bytes), 'o'));
        else
            EXPECT_EQ(now, "source 1");
    }
}

TEST(BatchFrame, HardwareFallbackAndTheDecoderRecord) {
    using Run = ScriptedShell::Run;
    const Run fail{0, 1};
    const Run qsvBroken{200000, 69};
    const Run ok{4096, 0};
    struct Case {
        const char* name;
        int accIndex;
        bool canAcc;
        bool speed;
        std::deque<Run> script;
        std::vector<std::function<bool(const QStringList&)>> kinds;  // every start, in order
        std::vector<QString> statuses;
        QString accSetting, canSetting;  // "" not written
        bool speedStaysOn;
    };
    const auto Q = IsQsv;
    const auto C = IsCuvid;
    const auto S = IsSoftware;
    const std::vector<Case> cases{
        {"both decoders fail", -1, false, true, {qsvBroken, fail, ok, ok}, {Q, C, S, S}, {"Ok！", "Ok！"}, "0", "0", false},
        {"cuvid works", -1, false, true, {fail, ok, ok}, {Q, C, C}, {"Ok！", "Ok！"}, "1", "1", true},
        {"quick sync works", -1, false, true, {ok, ok}, {Q, Q}, {"Ok！", "Ok！"}, "0", "1", true},
        {"cuvid first", 1, true, true, {fail, fail, ok, ok}, {C, C, S, S}, {"Ok！", "Ok！"}, "0", "0", false},
        {"no fallback without ChSpeed", 0, true, false, {fail, ok}, {Q, Q}, {"更换失败", "Ok！"}, "", "", false},
        {"later rows fall back unrecorded", -1, false, true, {ok, fail, fail, ok}, {Q, Q, C, S}, {"Ok！", "Ok！"}, "0",
         "1", true},
        {"everything fails", -1, false, true, {fail, fail, fail, fail}, {Q, C, S, S}, {"更换失败", "更换失败"}, "0",
         "0", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BatchWindow w(false);
        ASSERT_TRUE(w.loaded);
        ModeTwoRows(w, 2);
        w.form().AccIndex = c.accIndex;
        w.form().CanAcc = c.canAcc;
        w.form().ChOther->setChecked(true);
        w.form().CmbSize->SetListIndex(0);
        w.form().ChSpeed->setChecked(c.speed);
        w.fakeShell.script = c.script;
        w.Run();
        ASSERT_EQ(w.fakeShell.starts.size(), c.kinds.size());
        for (size_t i = 0; i < c.kinds.size(); ++i)
            EXPECT_TRUE(c.kinds[i](w.fakeShell.starts[i])) << i << ": " << w.fakeShell.starts[i].join(' ').toStdString();
        for (int r = 1; r <= 2; ++r)
            EXPECT_TRUE(w.Status(r).startsWith(c.statuses[static_cast<size_t>(r - 1)])) << w.Status(r).toStdString();
        EXPECT_EQ(w.fx.settings.values.value(settings_names::AccIndex), c.accSetting);
        EXPECT_EQ(w.fx.settings.values.value(settings_names::CanAcc), c.canSetting);
        if (!c.accSetting.isEmpty()) {
            EXPECT_EQ(w.form().AccIndex, c.accSetting.toInt());
            EXPECT_EQ(w.form().CanAcc, c.canSetting == "1");
        }
        if (!c.speedStaysOn && c.speed) {
            EXPECT_FALSE(w.form().ChSpeed->isChecked());
            EXPECT_FALSE(OwnEnabled(w.form().ChSpeed));
        } else {
            EXPECT_EQ(w.form().ChSpeed->isChecked(), c.speed);
        }
    }
}

TEST(BatchFrame, SoftwareOnlyRowsMakeOneAttemptEvenWithChSpeed) {
    for (const int exit : {0, 1}) {
        BatchWindow w(false);
        ASSERT_TRUE(w.loaded);
        ModeTwoRows(w, 1);
        w.form().ChOther->setChecked(true);
        w.form().ChSpeed->setChecked(true);
        w.form().ChOther->setChecked(false);  // ChSpeed stays checked in the disabled frame
        ASSERT_TRUE(w.form().ChSpeed->isChecked());
        w.fakeShell.script = {{4096, exit}};
        w.Run();
        ASSERT_EQ(w.fakeShell.starts.size(), 1u);
        EXPECT_TRUE(IsSoftware(w.fakeShell.starts[0]));
        EXPECT_EQ(w.Status(1), exit == 0 ? "Ok" : "更换失败");
        EXPECT_TRUE(w.fx.settings.values.isEmpty());
        EXPECT_TRUE(w.form().ChSpeed->isChecked());
    }
}

TEST(BatchFrame, SizeAndTimeShowWithChOther) {
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    ModeTwoRows(w, 1);
    w.form().ChOther->setChecked(true);
    w.form().CmbSize->SetListIndex(0);
    w.fakeShell.script = {{1572864, 0}};
    w.Run();
    EXPECT_TRUE(QRegularExpression("^Ok！1\\.5mb；00:00:0\\d$").match(w.Status(1)).hasMatch()) << w.Status(1).toStdString();
}

TEST(BatchFrame, OutputThatIsTheSourceGoesThroughTheWorkFile) {
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    ModeTwoRows(w, 2);
    w.form().ChSaveAs->setChecked(true);
    w.form().LDir->setText(w.work.path() + "/");
    w.fakeShell.script = {{4096, 0}, {4096, 1}};
    QStringList sourceAtStart;
    w.fakeShell.onStart = [&](const QStringList& args) { sourceAtStart << QString::number(QFileInfo(args[3]).size()); };
    w.Run();
    ASSERT_EQ(w.fakeShell.starts.size(), 2u);
    EXPECT_EQ(w.fakeShell.starts[0].last(), w.fx.AppPath() + "/Tmp.mp4");
    EXPECT_EQ(sourceAtStart, (QStringList{"8", "8"}));  // the source was there when the encoder read it
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(QFileInfo(w.Path("v1.mp4")).size(), 4096);
    EXPECT_EQ(w.Status(2), "更换失败");
    EXPECT_EQ(QFileInfo(w.Path("v2.mp4")).size(), 8);

    // Into another folder the encoder writes beside the output; a failed one is not left there.
    BatchWindow o(false);
    ASSERT_TRUE(o.loaded);
    ModeTwoRows(o, 2);
    o.form().ChSaveAs->setChecked(true);
    o.fakeShell.script = {{4096, 0}, {300000, 1}};
    o.Run();
    EXPECT_TRUE(WorkFileOf(o.fakeShell.starts[0].last(), o.Out("v1.mp4")));
    EXPECT_TRUE(QFileInfo::exists(o.Out("v1.mp4")));
    EXPECT_FALSE(QFileInfo::exists(o.Out("v2.mp4")));
    EXPECT_EQ(WorkLeftovers(o.Out("")), QStringList());
}

TEST(BatchFrame, ClosingTheWindowDuringAWaitEndsTheRun) {
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    ModeTwoRows(w, 3);
    w.form().ChSaveAs->setChecked(false);
    w.fakeShell.onStart = [&](const QStringList&) {
        if (w.State().CurrentRow != 2) return;
        w.dialogs().answers = {MsgResult::Ok};
        w.form().close();
    };
    w.Run();
    EXPECT_TRUE(w.form().IsClosed());
    EXPECT_EQ(w.fakeShell.starts.size(), 2u);
    EXPECT_EQ(w.Status(1), "Ok");
    EXPECT_EQ(w.Status(3), "");
    EXPECT_FALSE(w.dialogs().Shown(kDoneOutput));
    EXPECT_NE(w.form().ProgressText(), "状态：更换封面处理完毕！");
    EXPECT_FALSE(w.form().isVisible());
    // Row 2 never got a result put in place.
    QFile src(w.Path("v2.mp4"));
    ASSERT_TRUE(src.open(QIODevice::ReadOnly));
    EXPECT_EQ(src.readAll(), "source 2");
}

TEST(BatchFrame, EachRowGetsItsOwnCoverAtItsOwnSize) {
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    w.Mode(1);
    const std::vector<std::pair<QString, QSize>> rows{
        {"red", {320, 240}}, {"blue", {320, 240}}, {"blue", {160, 90}}, {"blue", {160, 90}}};
    for (size_t i = 0; i < rows.size(); ++i) {
        const QString n = QString::number(i + 1);
        ASSERT_TRUE(WriteBytes(w.Path("v" + n + ".mp4"), "x"));
        const QString cover = w.Path(rows[i].first + ".png");
        if (!QFileInfo::exists(cover)) ASSERT_TRUE(PlacePicture(cover, rows[i].first));
        w.AddVideo("v" + n + ".mp4", cover, QString::number(rows[i].second.width()),
                   QString::number(rows[i].second.height()));
    }
    std::vector<std::pair<QRgb, QSize>> seen;
    w.fakeShell.onStart = [&](const QStringList& args) {
        const QImage img(args[5]);
        seen.push_back({img.pixel(0, 0) & 0xF0F0F0, img.size()});
    };
    w.Run();
    ASSERT_EQ(seen.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(seen[i].first, QColor(rows[i].first).rgb() & 0xF0F0F0) << i;
        EXPECT_EQ(seen[i].second, rows[i].second) << i;
    }
}

TEST(BatchFrame, FrameModesShowTheirOwnProgressTexts) {
    // Mode 3: the top-of-row text stands when the frame grab starts; a row
    // refused by the crop skips the stop test, so a stop asked for during its
    // grab takes effect after the next row.
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    w.Mode(3);
    ASSERT_TRUE(PlaceVideo(w.Path("small.mp4"), 64, 64));
    ASSERT_TRUE(PlaceVideo(w.Path("big1.mp4")));
    ASSERT_TRUE(PlaceVideo(w.Path("big2.mp4")));
    FileListController::AddRow(w.form(), QStringList{"small.mp4", w.work.path(), "64", "64"}.join('\t'));
    FileListController::AddRow(w.form(), QStringList{"big1.mp4", w.work.path(), "320", "240"}.join('\t'));
    FileListController::AddRow(w.form(), QStringList{"big2.mp4", w.work.path(), "320", "240"}.join('\t'));
    w.form().ChCutSize->setChecked(true);
    w.form().TSizeCut->setText("16,0,16,0");
    QStringList grabProgress;
    w.fakeShell.onStart = [&](const QStringList& args) {
        if (args.first() != "-i") return;  // the frame grab
        grabProgress << w.form().ProgressText();
        if (w.State().CurrentRow == 1) {
            w.dialogs().answers = {MsgResult::Ok};
            w.form().batch->CmdStop_Click();
        }
    };
    w.Run();
    EXPECT_EQ(grabProgress, (QStringList{"状态：更换封面处理中...1/3", "状态：更换封面处理中...2/3"}));
    EXPECT_EQ(w.Status(1), "失败：画面裁剪量太大");
    EXPECT_EQ(w.Status(2), "Ok");
    EXPECT_EQ(w.Status(3), "");
    EXPECT_EQ(w.dialogs().LastText(), kDoneFirst);
    EXPECT_EQ(w.form().ProgressText(), "状态：更换封面处理完毕！");

    // Mode 4: one picture per row, nothing waited for.
    BatchWindow p(false);
    ASSERT_TRUE(p.loaded);
    p.Mode(4);
    for (const QString v : {"a", "b"}) {
        ASSERT_TRUE(PlaceVideo(p.Path(v + ".mp4")));
        FileListController::AddRow(
            p.form(), QStringList{v + ".jpg", p.work.path(), "320", "240", p.Path(v + ".mp4")}.join('\t'));
    }
    QStringList progress;
    p.fakeShell.onStart = [&](const QStringList&) { progress << p.form().ProgressText(); };
    p.Run();
    EXPECT_EQ(progress, (QStringList{"状态：截取视频帧当独立封面中...1/2", "状态：截取视频帧当独立封面中...2/2"}));
    EXPECT_EQ(p.form().ProgressText(), "状态：视频封面图提取完毕！");
    EXPECT_EQ(p.dialogs().LastText(), kDoneFirst);
}

TEST(BatchFrame, NoRunWhileAnAddIsFillingTheList) {
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    ModeTwoRows(w, 2);
    w.form().Busy = true;  // as during a multiple add or a scan
    w.Run();
    EXPECT_EQ(w.dialogs().beeps, 1);
    EXPECT_TRUE(w.dialogs().messages.empty());
    EXPECT_TRUE(w.fakeShell.starts.empty());
    EXPECT_TRUE(w.form().Busy);  // the add's own flag is left to the add
    EXPECT_EQ(w.form().MSF->TextMatrix(1, 5), "");
}

TEST(BatchFrame, AFrameRowWithoutACoverContainerStartsNoEncoder) {
    // Refused before the frame grab: a row of a kind that carries no cover
    // runs nothing at all, and the next row still does.
    BatchWindow w(false);
    ASSERT_TRUE(w.loaded);
    w.Mode(3);
    for (const QString v : {"a.avi", "b.mp4"}) {
        ASSERT_TRUE(WriteBytes(w.Path(v), "video"));
        FileListController::AddRow(w.form(), QStringList{v, w.work.path(), "320", "240"}.join('\t'));
    }
    w.Run();
    EXPECT_EQ(w.Status(1), "更换失败");
    ASSERT_FALSE(w.fakeShell.starts.empty());
    for (const QStringList& args : w.fakeShell.starts) EXPECT_FALSE(args.contains(w.Path("a.avi")));
    EXPECT_TRUE(w.fakeShell.starts.front().contains(w.Path("b.mp4")));
}
