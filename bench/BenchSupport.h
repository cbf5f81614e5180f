#pragma once
// What the benchmarks share: the real encoder with the file manager left
// closed, and a plain run of the encoder to measure the program against.
#include "app/Form1.h"
#include "app/VbCombo.h"
#include "platform/LinuxShell.h"
#include "support/FormFixture.h"
#include "support/OwnProcesses.h"

#include <QCheckBox>
#include <QLabel>

#include <QFile>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

// The real encoder; the file manager is not opened at the end of a run.
class BenchShell : public LinuxShell {
public:
    std::vector<QStringList> starts;
    void Open(const QString&, const QString&) override {}
    void SelectInFileManager(const QString&) override {}
    int Start(const QString& program, const QStringList& args, const QString& workDir, long long* pid) override {
        starts.push_back(args);
        return LinuxShell::Start(program, args, workDir, pid);
    }
};

// A loaded window in a program folder of its own with the real encoder, in
// mode 2 with one cover for every row.
struct BenchWindow {
    FormFixture fx{true};
    BenchShell shell;
    OwnProcessList processes;
    bool loaded = false;

    BenchWindow(const QString& cover, bool inPlace) {
        Services s = fx.FakeServices();
        s.shell = &shell;
        s.processes = &processes;
        loaded = fx.Load(s);
        if (!loaded) return;
        form().CmbType->SetListIndex(2);
        form().CmbSize->SetListIndex(0);
        form().LBase->setText(cover);
        form().ChSaveAs->setChecked(!inPlace);
    }
    Form1& form() { return *fx.form; }
    QString ProgramFolder() const { return fx.AppPath(); }
};

// Runs the encoder once with these arguments (in workDir when given) and
// waits, as a shell script would; true on exit status 0.
inline bool RunPlain(const QString& exe, const QStringList& args, const QString& workDir = {}) {
    std::vector<QByteArray> store{QFile::encodeName(exe)};
    for (const QString& a : args) store.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (auto& s : store) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    for (int fd = 0; fd <= 2; ++fd) posix_spawn_file_actions_addopen(&fa, fd, "/dev/null", fd ? O_WRONLY : O_RDONLY, 0);
    const QByteArray dir = QFile::encodeName(workDir);
    if (!workDir.isEmpty()) posix_spawn_file_actions_addchdir_np(&fa, dir.constData());
    pid_t pid = 0;
    const int r = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (r != 0) return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
