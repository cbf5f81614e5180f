#pragma once
// A loaded main window for batch runs: either a scripted stand-in for the
// encoder, or the real one (the system's ffmpeg as Mezzor.exe) on generated
// media in a temporary folder.
#include "app/Form1.h"
#include "app/StatusPanels.h"
#include "app/VbCombo.h"
#include "batch/BatchRun.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"
#include "support/OwnProcesses.h"
#include "platform/LinuxShell.h"
#include "support/FormFixture.h"
#include "support/Media.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>

namespace batch_test {

using namespace filelist;

// The real encoder, with the file-manager calls recorded instead of made.
class RecordingShell : public LinuxShell {
public:
    std::vector<ShellCall> calls;  // "open", "select"
    std::vector<QStringList> starts;
    std::vector<long long> pids;
    std::function<void(const QStringList& args, long long pid)> onStart;

    void Open(const QString& target, const QString& workDir) override {
        calls.push_back({"open", target, {}, workDir});
    }
    void SelectInFileManager(const QString& file) override { calls.push_back({"select", file, {}, {}}); }
    int Start(const QString& program, const QStringList& args, const QString& workDir, long long* pid) override {
        long long id = 0;
        const int r = LinuxShell::Start(program, args, workDir, &id);
        if (pid) *pid = id;
        starts.push_back(args);
        pids.push_back(id);
        if (onStart) onStart(args, id);
        return r;
    }
};

// A stand-in encoder: each start writes its output (the last argument) with
// a scripted size and ends at once with a scripted exit status.
class ScriptedShell : public FakeShell {
public:
    struct Run {
        long long bytes = 4096;
        int exit = 0;
    };
    std::deque<Run> script;  // one per start, in order
    Run otherwise;           // when the script is used up
    std::vector<QStringList> starts;
    std::function<void(const QStringList& args)> onStart;

    int Start(const QString& program, const QStringList& args, const QString& workDir, long long* pid) override {
        FakeShell::Start(program, args, workDir, nullptr);
        Run r = otherwise;
        if (!script.empty()) {
            r = script.front();
            script.pop_front();
        }
        starts.push_back(args);
        if (!args.isEmpty() && r.bytes >= 0) {
            QFile out(args.last());
            if (out.open(QIODevice::WriteOnly)) out.write(QByteArray(static_cast<int>(r.bytes), 'o'));
        }
        const long long id = ++lastPid_;
        exits_[id] = r.exit;
        if (pid) *pid = id;
        if (onStart) onStart(args);
        return startResult;
    }
    std::optional<int> ExitStatus(long long pid) override {
        const auto it = exits_.find(pid);
        if (it == exits_.end()) return std::nullopt;
        return it->second;
    }

private:
    long long lastPid_ = 1000;
    std::map<long long, int> exits_;
};

// Generated media, made once per kind and copied where a test wants it.
inline bool PlaceVideo(const QString& path, int width = 320, int height = 240, double seconds = 1,
                       const QStringList& extra = {}) {
    static QTemporaryDir store;
    // In the container the name asks for.
    const QString master = QString("%1/%2x%3_%4_%5%6")
                               .arg(store.path())
                               .arg(width)
                               .arg(height)
                               .arg(seconds)
                               .arg(QString::number(qHash(extra.join(' '))))
                               .arg(path.mid(path.lastIndexOf('.')));
    if (!QFileInfo::exists(master) && !media::MakeVideo(master, width, height, 25, seconds, extra)) return false;
    QFile::remove(path);
    return QFile::copy(master, path);
}

inline bool PlaceMp3(const QString& path) {
    static QTemporaryDir store;
    const QString master = store.path() + "/t.mp3";
    if (!QFileInfo::exists(master) && !media::MakeMp3(master, 1)) return false;
    QFile::remove(path);
    return QFile::copy(master, path);
}

inline bool PlacePicture(const QString& path, const QString& colour = "red", int w = 64, int h = 48) {
    return media::MakePicture(path, w, h, colour);
}

// Whether the encoder wrote `written` as the work file of `output`: beside
// it, under a work name with its extension.
inline bool WorkFileOf(const QString& written, const QString& output) {
    const QFileInfo w(written), o(output);
    return w.absolutePath() == o.absolutePath() && w.fileName().startsWith(".plw-") &&
           w.fileName().endsWith("." + o.suffix()) && w.fileName().size() <= 12 + o.suffix().size();
}

// The program's work files left in a folder (".plw-" names).
inline QStringList WorkLeftovers(const QString& folder) {
    return QDir(folder).entryList({".plw-*"}, QDir::Files | QDir::Hidden | QDir::System);
}

inline bool WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The streams of a file as ffprobe lists them.
inline QJsonArray Streams(const QString& path) { return media::Probe(path).value("streams").toArray(); }

// Width x height of the attached picture, or of the first real video stream.
inline QSize StreamSize(const QString& path, bool attached) {
    for (const auto& s : Streams(path)) {
        const QJsonObject o = s.toObject();
        const bool pic = o.value("disposition").toObject().value("attached_pic").toInt() == 1;
        if (o.value("codec_type").toString() == "video" && pic == attached)
            return {o.value("width").toInt(), o.value("height").toInt()};
    }
    return {};
}

// Index of the first stream of a type that is not an attached picture; -1 when none.
inline int StreamIndex(const QString& path, const QString& type) {
    for (const auto& s : Streams(path)) {
        const QJsonObject o = s.toObject();
        if (o.value("codec_type").toString() == type &&
            o.value("disposition").toObject().value("attached_pic").toInt() == 0)
            return o.value("index").toInt();
    }
    return -1;
}

inline QString CodecOf(const QString& path, int index) {
    for (const auto& s : Streams(path))
        if (s.toObject().value("index").toInt() == index) return s.toObject().value("codec_name").toString();
    return {};
}

// A window in a temporary program folder with a work folder beside it.
struct BatchWindow {
    FormFixture fx;
    QTemporaryDir work;
    RecordingShell realShell;
    OwnProcessList realProcesses;
    ScriptedShell fakeShell;

    // real: the real encoder and the test's own process list; else the
    // scripted encoder.
    // programFolder: where the program lives, when not in a folder of its own.
    explicit BatchWindow(bool real, const QString& programFolder = {})
        : fx(true, programFolder) {
        Services s = fx.FakeServices();
        if (real) {
            s.shell = &realShell;
            s.processes = &realProcesses;
        } else {
            s.shell = &fakeShell;
        }
        loaded = fx.Load(s);
        // No reader knows the stand-in's files: it counts what it wrote.
        if (loaded && !real) {
            form().batch->SetOutputFinish({});
            form().batch->SetOutputCheck([](const readback::Facts&, const QString& output, const readback::Expectation&) {
                QFile f(output);
                return f.open(QIODevice::ReadOnly) && f.readAll().count('o') == f.size();
            });
        }
        if (loaded) {
            form().CmbSize->SetListIndex(0);  // keep the size unless a test asks
            form().LDir->setText(work.path() + "/out/");
            QDir().mkpath(work.path() + "/out");
        }
    }
    bool loaded = false;

    Form1& form() { return *fx.form; }
    FakeDialogs& dialogs() { return fx.dialogs; }
    QString Path(const QString& name) const { return work.path() + "/" + name; }
    QString Out(const QString& name) const { return work.path() + "/out//" + name; }

    void Mode(int m) { form().CmbType->SetListIndex(m); }
    // Mode 2 with one cover picture for every row, written into the work
    // folder or (saveAs) the output folder.
    bool CoverForAll(bool saveAs, const QString& name = "cover.jpg", const QString& colour = "red", int width = 64,
                     int height = 48) {
        Mode(2);
        if (!PlacePicture(Path(name), colour, width, height)) return false;
        form().LBase->setText(Path(name));
        form().ChSaveAs->setChecked(saveAs);
        return true;
    }
    void AddRow(const QString& fileName, const QString& folder, const QString& w, const QString& h,
                const QString& partner) {
        FileListController::AddRow(form(), QStringList{fileName, folder, w, h, partner}.join('\t'));
    }
    // A video row of modes 1-2 for a file in the work folder.
    void AddVideo(const QString& name, const QString& partner = {}, const QString& w = "320",
                  const QString& h = "240") {
        AddRow(name, work.path(), w, h, partner);
    }
    QString Status(int row) { return form().MSF->TextMatrix(row, ColStatus); }
    void Run() { form().batch->CmdDo_Click(); }
    // Runs, closing the window (and confirming the close) the first time
    // `when` holds during a wait; true when it was closed.
    bool RunClosingWhen(const std::function<bool()>& when) {
        QTimer poll;
        bool closed = false;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (closed || !when()) return;
            closed = true;
            dialogs().answers = {MsgResult::Ok};
            form().close();
        });
        poll.start(5);
        Run();
        poll.stop();
        return closed;
    }
    RunState& State() { return form().batch->State(); }
};

}  // namespace batch_test
