#include "support/OwnProcesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

OwnProcessList::OwnProcessList() : LinuxProcessList(static_cast<long long>(::getpid())) {}

ForeignProcess::ForeignProcess(const QString& name, int seconds) {
    folder_ = QDir::tempPath() + QStringLiteral("/foreign-%1-%2").arg(::getpid()).arg(reinterpret_cast<quintptr>(this));
    QDir().mkpath(folder_);
    const QString exe = folder_ + "/" + name;
    QFile::copy(QStandardPaths::findExecutable("sleep"), exe);
    QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
    const QByteArray path = QFile::encodeName(exe);
    const QByteArray arg = QByteArray::number(seconds);

    int link[2];
    if (::pipe(link) != 0) return;
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::close(link[0]);
            ::close(link[1]);
            ::execl(path.constData(), path.constData(), arg.constData(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const long long id = grandchild;
        (void)!::write(link[1], &id, sizeof id);
        ::_exit(0);
    }
    ::close(link[1]);
    long long id = 0;
    if (middle > 0 && ::read(link[0], &id, sizeof id) == static_cast<ssize_t>(sizeof id)) pid_ = id;
    ::close(link[0]);
    if (middle > 0) ::waitpid(middle, nullptr, 0);
    // Until exec has happened the process still carries the parent's name.
    for (int i = 0; i < 200 && pid_ > 0; ++i) {
        if (QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid_)).symLinkTarget() == exe) break;
        QThread::msleep(10);
    }
}

ForeignProcess::~ForeignProcess() {
    if (pid_ > 0) ::kill(static_cast<pid_t>(pid_), SIGKILL);
    for (int i = 0; i < 200 && Alive(); ++i) QThread::msleep(10);
    QDir(folder_).removeRecursively();
}

bool ForeignProcess::Alive() const {
    if (pid_ <= 0) return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid_));
    if (!stat.open(QIODevice::ReadOnly)) return false;
    const QByteArray s = stat.readAll();
    const int close = s.lastIndexOf(')');
    return close > 0 && close + 2 < s.size() && s[close + 2] != 'Z' && s[close + 2] != 'X';
}
