// The mode-3 and mode-4 row steps on a window with scripted services: what
// they start, which files they leave and what the row shows.
#include "app/Form1.h"
#include "app/VbCombo.h"
#include "batch/FrameToPicture.h"
#include "batch/BatchRun.h"
#include "batch/RowSteps.h"
#include "batch/RunState.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "platform/OwnFiles.h"
#include "support/FormFixture.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

namespace {


struct Mode3 {
    FormFixture fx;
    RunState state;
    Form1* f = nullptr;

    Mode3() {
        EXPECT_TRUE(fx.Load());
        f = fx.form.get();
        f->CmbType->SetListIndex(3);
        state.FirstRow = "1";
        state.GrabbedFrameFile = fx.AppPath() + "/Tmp.png";
        state.TextCoverFile = fx.AppPath() + "/Back.bmp";
    }
    void addRow(const QString& name, const QString& folder, const QString& w, const QString& h) {
        FileListController::AddRow(*f, name + "\t" + folder + "\t" + w + "\t" + h + "\t");
        state.LastRow = QString::number(f->MSF->Rows() - 1);
    }
    void textCover(bool on) {
        f->ChFileNameAs->setEnabled(true);
        f->ChFileNameAs->setChecked(on);
    }
    QStringList starts() const {
        QStringList s;
        for (const ShellCall& c : fx.shell.calls)
            if (c.what == "start") s << c.args.join('|');
        return s;
    }
};

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
}

// A work file the program made, as an earlier row leaves it.
void ownTouch(const QString& path) {
    ASSERT_TRUE(ownfiles::Make(path));
    touch(path);
}

}  // namespace

TEST(FrameGrabStep, StartsTheGrabAndShowsItsProgress) {
    Mode3 m;
    m.addRow("a.mp4", "/nowhere", "320", "240");
    m.addRow("b.mp4", "/nowhere", "320", "240");
    ownTouch(m.state.GrabbedFrameFile);  // an earlier row's frame
    m.state.CurrentRow = 2;
    m.state.SourceFile = "/nowhere/b.mp4";
    m.f->TPos->setText("3");

    GrabFrame(m.f->batch->Context(), m.state);

    EXPECT_EQ(m.state.CoverFile, m.state.GrabbedFrameFile);
    EXPECT_FALSE(QFile::exists(m.state.GrabbedFrameFile));
    ASSERT_EQ(m.fx.shell.calls.size(), 1u);
    const ShellCall& c = m.fx.shell.calls[0];
    EXPECT_EQ(c.target, "Mezzor.exe");
    EXPECT_EQ(c.workDir, m.fx.AppPath());
    // A missing file has no duration, so the 3 s lie beyond it: 95 % of 0.
    EXPECT_EQ(c.args, (QStringList{"-i", "/nowhere/b.mp4", "-y", "-ss", "00", "-vframes", "1", "-f", "image2", "-y",
                                   m.state.GrabbedFrameFile}));
    EXPECT_EQ(m.f->MSF->TextMatrix(2, filelist::ColStatus), "截取视频帧做封面中...");
    EXPECT_EQ(m.f->ProgressText(), "状态：截取视频帧做封面中...已处理：2/2");
    EXPECT_EQ(m.f->MSF->TextMatrix(1, filelist::ColStatus), "");
}

TEST(FrameGrabStep, AUsersFileOrLinkUnderTheFramesNameIsLeftAlone) {
    Mode3 m;
    m.addRow("a.mp4", "/nowhere", "320", "240");
    m.state.CurrentRow = 1;
    m.state.SourceFile = "/nowhere/a.mp4";
    QTemporaryDir elsewhere;
    const QString aim = elsewhere.filePath("keep.png");
    touch(aim);
    for (bool link : {false, true}) {
        QFile::remove(m.state.GrabbedFrameFile);
        if (link) ASSERT_TRUE(QFile::link(aim, m.state.GrabbedFrameFile));
        else touch(m.state.GrabbedFrameFile);
        GrabFrame(m.f->batch->Context(), m.state);
        EXPECT_TRUE(m.starts().isEmpty());
        EXPECT_TRUE(m.state.CoverFile.isEmpty());  // the row gate fails the row
        EXPECT_EQ(QFileInfo(m.state.GrabbedFrameFile).isSymLink(), link);
        QFile f(link ? aim : m.state.GrabbedFrameFile);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), "old");
    }
}

TEST(FrameGrabStep, FirstFrameAndOpeningClipMoments) {
    struct Case {
        bool delRecover, asHead;
        QString seek;
    } cases[] = {{true, false, "0"}, {false, true, "0.5"}};
    for (const auto& c : cases) {
        Mode3 m;
        m.addRow("a.mp4", "/nowhere", "320", "240");
        m.state.CurrentRow = 1;
        m.state.SourceFile = "/nowhere/a.mp4";
        m.f->ChDelRecover->setEnabled(true);
        m.f->ChDelRecover->setChecked(c.delRecover);
        m.f->ChAsHead->setChecked(c.asHead);
        GrabFrame(m.f->batch->Context(), m.state);
        ASSERT_EQ(m.starts().size(), 1);
        EXPECT_TRUE(m.starts()[0].contains("|-ss|" + c.seek + "|-vframes|")) << m.starts()[0].toStdString();
    }
}

TEST(TextCoverStep, TheNameBecomesTheCoverAndNoFrameIsGrabbed) {
    Mode3 m;
    m.textCover(true);
    m.addRow("第一集.mp4", "/nowhere", "320", "180");
    touch(m.state.GrabbedFrameFile);
    PrepareCoverCanvas(m.f->batch->Context(), m.state);
    m.state.CurrentRow = 1;
    m.state.SourceFile = "/nowhere/第一集.mp4";

    BuildTextCover(m.f->batch->Context(), m.state);
    GrabFrame(m.f->batch->Context(), m.state);
    ChooseFrameCover(m.f->batch->Context(), m.state);

    EXPECT_TRUE(m.starts().isEmpty());
    EXPECT_TRUE(QFile::exists(m.state.GrabbedFrameFile));  // untouched
    EXPECT_EQ(m.state.CoverFile, m.state.TextCoverFile);
    EXPECT_EQ(m.state.CommandCover, m.state.TextCoverFile);
    const QImage cover(m.state.TextCoverFile);
    EXPECT_EQ(cover.size(), QSize(320, 180));
    EXPECT_EQ(cover.pixel(0, 0), qRgb(255, 255, 255));
}

TEST(TextCoverStep, ARowThatCannotBeDrawnHasNoCover) {
    Mode3 m;
    m.textCover(true);
    m.f->ChColor->setChecked(true);
    m.addRow("first.mp4", "/nowhere", "64", "48");
    m.addRow("song.mp3", "/nowhere", "", "");  // no picture size
    PrepareCoverCanvas(m.f->batch->Context(), m.state);

    m.state.CurrentRow = 1;
    BuildTextCover(m.f->batch->Context(), m.state);
    GrabFrame(m.f->batch->Context(), m.state);
    ChooseFrameCover(m.f->batch->Context(), m.state);
    ASSERT_EQ(m.state.CoverFile, m.state.TextCoverFile);
    EXPECT_EQ(QImage(m.state.TextCoverFile).pixel(0, 0), qRgb(0, 0, 0));

    // The next row must not get the first row's picture.
    m.state.CurrentRow = 2;
    BuildTextCover(m.f->batch->Context(), m.state);
    GrabFrame(m.f->batch->Context(), m.state);
    ChooseFrameCover(m.f->batch->Context(), m.state);
    EXPECT_TRUE(m.state.CoverFile.isEmpty());
    EXPECT_FALSE(QFile::exists(m.state.TextCoverFile));
}

TEST(TextCoverStep, OffWithTheFirstFrameOption) {
    Mode3 m;
    m.textCover(true);
    m.f->ChDelRecover->setEnabled(true);
    m.f->ChDelRecover->setChecked(true);  // switches the file-name cover off
    m.f->ChFileNameAs->setChecked(true);
    m.addRow("a.mp4", "/nowhere", "64", "48");
    m.state.CurrentRow = 1;
    m.state.SourceFile = "/nowhere/a.mp4";
    GrabFrame(m.f->batch->Context(), m.state);
    ChooseFrameCover(m.f->batch->Context(), m.state);
    EXPECT_EQ(m.starts().size(), 1);
    EXPECT_EQ(m.state.CoverFile, m.state.GrabbedFrameFile);
}

TEST(FrameToPictureStep, StartsOneEncoderPerRowAndMarksItStarted) {
    FormFixture fx;
    ASSERT_TRUE(fx.Load());
    Form1& f = *fx.form;
    f.CmbType->SetListIndex(4);
    for (const char* n : {"a", "b c", "d'e"})
        FileListController::AddRow(f, QString("%1.jpg\t/v\t\t\t/v/%1.mp4").arg(n));
    RunState state;
    state.FirstRow = "1";
    state.LastRow = "3";
    for (int r = 1; r <= 3; ++r) {
        state.CurrentRow = r;
        GrabRandomFrame(f.batch->Context(), state);
        EXPECT_EQ(f.MSF->TextMatrix(r, filelist::ColStatus), "OK!");
    }
    ASSERT_EQ(fx.shell.calls.size(), 3u);
    // Missing videos have no duration: every time is 0, written 00.
    EXPECT_EQ(fx.shell.calls[2].args, (QStringList{"-ss", "00", "-i", "/v/d'e.mp4", "-vframes", "1", "-f", "image2",
                                                   "-q:v", "0", "-y", "/v/d'e.jpg"}));
    EXPECT_EQ(fx.shell.calls[1].args[3], "/v/b c.mp4");
}

namespace {

// Encoders that run until the test ends them.
class HeldShell : public FakeShell {
public:
    std::map<long long, bool> ended;
    std::map<long long, int> exitCodes;  // 0 unless set
    long long next = 100;
    int Start(const QString& program, const QStringList& args, const QString& workDir, long long* pid) override {
        FakeShell::Start(program, args, workDir, pid);
        if (startResult != 42) return startResult;
        const long long id = next++;
        ended[id] = false;
        if (pid) *pid = id;
        return 42;
    }
    std::optional<int> ExitStatus(long long pid) override {
        const auto it = ended.find(pid);
        if (it == ended.end() || !it->second) return std::nullopt;
        return exitCodes.count(pid) ? exitCodes[pid] : 0;
    }
    void End(long long pid, int exitCode) {
        exitCodes[pid] = exitCode;
        ended[pid] = true;
    }
    int Running() const {
        int n = 0;
        for (const auto& [id, done] : ended) n += done ? 0 : 1;
        return n;
    }
    void EndOldest() {
        for (auto& [id, done] : ended)
            if (!done) {
                done = true;
                return;
            }
    }
};

}  // namespace

TEST(FrameToPictureStep, NeverMoreEncodersAtOnceThanAllowed) {
    HeldShell shell;
    FakeProcessList processes;
    EncoderHost host;
    host.shell = &shell;
    host.processes = &processes;
    host.programFolder = "/app";
    framepicture::StartSlots starter(host, 3);
    int waits = 0, most = 0;
    starter.onWait = [&] {
        ++waits;
        shell.EndOldest();
    };
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(starter.Acquire());
        starter.Started(StartEncoder(host, EncoderCommand("-version")));
        most = std::max(most, shell.Running());
    }
    EXPECT_EQ(most, 3);
    EXPECT_EQ(waits, 7);  // each start after the third waited for one to end
    EXPECT_EQ(shell.calls.size(), 10u);

    // A failed start takes no slot.
    shell.ended.clear();
    framepicture::StartSlots one(host, 1);
    EncoderRun failed;
    failed.startCode = 2;
    one.Started(failed);
    EXPECT_EQ(one.Busy(), 0);
    EXPECT_EQ(framepicture::StartSlots(host, 0).Limit(), 1);
}

TEST(FrameToPictureStep, TheWaitForASlotEndsWhenTheWindowCloses) {
    HeldShell shell;
    bool closed = false;
    EncoderHost host;
    host.shell = &shell;
    host.windowClosed = [&] { return closed; };
    framepicture::StartSlots starter(host, 1);
    ASSERT_TRUE(starter.Acquire());
    starter.Started(StartEncoder(host, EncoderCommand("-version")));
    starter.onWait = [&] { closed = true; };
    EXPECT_FALSE(starter.Acquire());
}

namespace {

// A mode-4 window whose encoders end when the test says; the pictures are
// what the test writes.
struct HeldMode4 {
    FormFixture fx;
    HeldShell shell;
    QTemporaryDir dir;
    RunState state;
    Form1* f = nullptr;

    HeldMode4() {
        Services s = fx.FakeServices();
        s.shell = &shell;
        EXPECT_TRUE(fx.Load(s));
        f = fx.form.get();
        f->CmbType->SetListIndex(4);
        f->batch->Slots().SetLimit(100);
        state.FirstRow = "1";
    }
    QString picture(const QString& name) const { return dir.filePath(name + ".jpg"); }
    void add(const QString& name) {
        FileListController::AddRow(*f, name + ".jpg\t" + dir.path() + "\t\t\t" + dir.filePath(name + ".mp4"));
        state.LastRow = QString::number(f->MSF->Rows() - 1);
    }
    // Starts the row's encoder; its id.
    long long start(int row) {
        state.CurrentRow = row;
        GrabRandomFrame(f->batch->Context(), state);
        return shell.next - 1;
    }
    void write(const QString& name, const QByteArray& bytes) {
        QFile out(picture(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
    }
    // Lets the background reaping see every encoder that has ended.
    bool settle() {
        QElapsedTimer t;
        t.start();
        while (BackgroundEncoders(f->batch->Host()) > shell.Running()) {
            if (t.elapsed() > 30000) return false;
            YieldToWindow();
        }
        return true;
    }
    QString status(int row) const { return f->MSF->TextMatrix(row, filelist::ColStatus); }
};

}  // namespace

TEST(FrameToPictureStep, ARowFailsWhenItsEncoderEndsWithoutThePicture) {
    HeldMode4 m;
    ASSERT_TRUE(m.f);
    for (const char* n : {"written", "none", "exit1", "stale", "empty", "unstarted"}) m.add(n);
    m.write("stale", "an earlier picture");
    std::map<QString, long long> ids;
    for (int r = 1; r <= 5; ++r) {
        ids[m.f->MSF->TextMatrix(r, 0)] = m.start(r);
        EXPECT_EQ(m.status(r), "OK!") << r;  // at once, before any encoder ends
    }
    m.write("written", "jpeg");
    m.shell.End(ids["written.jpg"], 0);
    m.shell.End(ids["none.jpg"], 0);
    m.write("exit1", "jpeg");
    m.shell.End(ids["exit1.jpg"], 1);
    m.shell.End(ids["stale.jpg"], 0);  // found no frame: the earlier picture stays as it was
    m.write("empty", "");
    m.shell.End(ids["empty.jpg"], 0);
    ASSERT_TRUE(m.settle());
    EXPECT_EQ(m.status(1), "OK!");
    for (int r = 2; r <= 5; ++r) EXPECT_EQ(m.status(r), "更换失败") << r;

    // An encoder that cannot start fails its row at once.
    m.shell.startResult = 2;
    m.start(6);
    EXPECT_EQ(m.status(6), "更换失败");
    EXPECT_EQ(BackgroundEncoders(m.f->batch->Host()), 0);
}

TEST(FrameToPictureStep, TheEndFindsItsRowByPictureInAChangedList) {
    HeldMode4 m;
    ASSERT_TRUE(m.f);
    m.add("a");
    m.add("b");
    const long long firstA = m.start(1);
    const long long b = m.start(2);
    // The list is cleared and filled again before those encoders end; a runs again, one row lower.
    FileListController::ClearList(*m.f);
    m.add("x");
    m.add("a");
    const long long x = m.start(1);
    const long long secondA = m.start(2);

    m.shell.End(firstA, 1);  // an earlier run's encoder of the same picture
    m.shell.End(b, 1);       // its row is gone
    ASSERT_TRUE(m.settle());
    EXPECT_EQ(m.status(1), "OK!");
    EXPECT_EQ(m.status(2), "OK!");

    m.write("x", "jpeg");
    m.shell.End(x, 0);
    m.shell.End(secondA, 0);
    ASSERT_TRUE(m.settle());
    EXPECT_EQ(m.status(1), "OK!");
    EXPECT_EQ(m.status(2), "更换失败");
    EXPECT_EQ(m.f->MSF->Rows(), 3);
}
