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
#include <spawn.h>
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
    Reap();
    QString path = program;
    if (!path.contains('/') && !workDir.isEmpty()) path = QDir(workDir).filePath(program);
    const QFileInfo info(path);
    if (!info.exists()) return 2;
    if (!info.isExecutable() || info.isDir()) return 5;

    const QByteArray exe = QFile::encodeName(path);
    std::vector<QByteArray> store;
    store.push_back(exe);
    for (const QString& a : args) store.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (auto& s : store) argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // Run inside the working folder without changing ours.
    const QByteArray wd = QFile::encodeName(workDir);
    int rc;
    pid_t child = 0;
    if (!workDir.isEmpty()) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 29))
        posix_spawn_file_actions_addchdir_np(&actions, wd.constData());
#endif
    }
    rc = posix_spawn(&child, exe.constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return rc == ENOENT ? 2 : 31;
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
