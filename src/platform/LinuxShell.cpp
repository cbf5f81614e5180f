#include "platform/LinuxShell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <csignal>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {
// "scheme://...": a file name may hold a colon ("Re: x.mp4", "clip:final.mp4")
// but never a "/", so no file in a folder can look like this.
bool isWebAddress(const QString& t) {
    static const QRegularExpression address(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return address.match(t).hasMatch();
}
}  // namespace

void LinuxShell::Open(const QString& target, const QString& workDir) {
    QString t = target;
    if (t.isEmpty()) t = "/";
    // A file in a folder is always a local file, whatever its name looks like.
    if (workDir.isEmpty() && isWebAddress(t)) {
        QDesktopServices::openUrl(QUrl(t));
        return;
    }
    QString path = t;
    // A file's folder "" is the root.
    if (!QFileInfo(path).isAbsolute()) path = QDir(workDir.isEmpty() ? "/" : workDir).filePath(path);
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void LinuxShell::SelectInFileManager(const QString& file) {
    QDBusMessage msg = QDBusMessage::createMethodCall(
        "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
        "org.freedesktop.FileManager1", "ShowItems");
    msg << QStringList{QUrl::fromLocalFile(file).toString()} << QString();
    const QDBusMessage reply = QDBusConnection::sessionBus().call(msg, QDBus::Block, 3000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        const QString folder = QFileInfo(file).absolutePath();
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder.isEmpty() ? "/" : folder));
    }
}

int LinuxShell::Start(const QString& program, const QStringList& args, const QString& workDir,
                      long long* pid) {
    return spawn(program, args, workDir, pid, true);
}

int LinuxShell::StartOutliving(const QString& program, const QStringList& args, const QString& workDir) {
    return spawn(program, args, workDir, nullptr, false);
}

int LinuxShell::spawn(const QString& program, const QStringList& args, const QString& workDir, long long* pid,
                      bool tied) {
    Reap();
    QString path = program;
    if (!path.contains('/') && !workDir.isEmpty()) path = QDir(workDir).filePath(program);
    const QFileInfo info(path);
    if (!info.exists()) return 2;
    if (!info.isExecutable() || info.isDir()) return 5;

    // Everything the child needs is made before it is started: it shares our
    // memory until its exec and may only make system calls.
    const QByteArray exe = QFile::encodeName(path);
    std::vector<QByteArray> store;
    store.push_back(exe);
    for (const QString& a : args) store.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (auto& s : store) argv.push_back(s.data());
    argv.push_back(nullptr);
    const QByteArray wd = QFile::encodeName(workDir);
    const pid_t parent = ::getpid();
    sigset_t all, none, old;
    sigfillset(&all);
    sigemptyset(&none);

    // vfork rather than fork: a large program's memory is not copied for a
    // child that only execs. No signal handler may run in the child, on our
    // stack, before its exec: they wait until it has gone.
    volatile int error = 0;
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    const pid_t child = ::vfork();
    if (child == 0) {
        // Killed with us, even when we are killed: an encoder must not go on
        // writing for a program that is gone. (It follows the thread that
        // starts it; encoders are started from the window's thread.)
        if (tied && (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)) {
            error = ECHILD;
            ::_exit(127);
        }
        if (!tied) ::setsid();
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open("/dev/null", O_WRONLY);
        if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) error = EIO;
        if (!error && !wd.isEmpty() && ::chdir(wd.constData()) != 0) error = errno;
        if (!error) {
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            ::execve(exe.constData(), argv.data(), environ);
            error = errno;
        }
        ::_exit(127);
    }
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (child < 0) return 31;
    if (error) {
        ::waitpid(child, nullptr, 0);
        return error == ENOENT ? 2 : 31;
    }
    children_[child] = std::nullopt;
    if (pid) *pid = child;
    return 42;
}

void LinuxShell::Reap() {
    for (auto& [pid, status] : children_) {
        if (status) continue;
        int st = 0;
        const pid_t r = ::waitpid(static_cast<pid_t>(pid), &st, WNOHANG);
        if (r == static_cast<pid_t>(pid)) {
            if (WIFEXITED(st)) status = WEXITSTATUS(st);
            else if (WIFSIGNALED(st)) status = 128 + WTERMSIG(st);
            else status = 255;
        } else if (r < 0) {
            status = 255;  // not ours any more
        }
    }
}

std::optional<int> LinuxShell::ExitStatus(long long pid) {
    Reap();
    const auto it = children_.find(pid);
    if (it == children_.end()) return std::nullopt;
    return it->second;
}
