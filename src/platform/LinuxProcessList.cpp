#include "platform/LinuxProcessList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

QString readFirstArg(const QString& dir) {
    QFile f(dir + "/cmdline");
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray data = f.readAll();
    const QByteArray first = data.left(data.indexOf('\0') < 0 ? data.size() : data.indexOf('\0'));
    return QFileInfo(QString::fromLocal8Bit(first)).fileName();
}

bool isZombie(const QString& dir) {
    QFile f(dir + "/stat");
    if (!f.open(QIODevice::ReadOnly)) return true;  // gone meanwhile
    const QByteArray s = f.readAll();
    // The state follows the last ")" of the command field.
    const int close = s.lastIndexOf(')');
    if (close < 0 || close + 2 >= s.size()) return false;
    const char state = s.at(close + 2);
    return state == 'Z' || state == 'X';
}

}  // namespace

std::vector<ProcessEntry> LinuxProcessList::Snapshot() {
    std::vector<ProcessEntry> list;
    QDir proc("/proc");
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& e : entries) {
        bool ok = false;
        const long long pid = e.toLongLong(&ok);
        if (!ok) continue;
        const QString dir = "/proc/" + e;
        ProcessEntry p;
        p.pid = pid;
        QString exe = QFile::symLinkTarget(dir + "/exe");
        if (exe.endsWith(" (deleted)")) exe.chop(10);
        p.name = exe.isEmpty() ? readFirstArg(dir) : QFileInfo(exe).fileName();
        if (p.name.isEmpty()) {
            QFile comm(dir + "/comm");
            if (comm.open(QIODevice::ReadOnly)) p.name = QString::fromLocal8Bit(comm.readAll()).trimmed();
        }
        p.zombie = isZombie(dir);
        list.push_back(p);
    }
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return list;
}

int LinuxProcessList::Count(const QString& exeName) {
    int n = 0;
    for (const auto& p : Snapshot())
        if (!p.zombie && p.name.compare(exeName, Qt::CaseInsensitive) == 0) ++n;
    return n;
}

bool LinuxProcessList::IsRunning(const QString& exeName) { return Count(exeName) > 0; }

int LinuxProcessList::KillFirstByPrefix(const QString& exeName) {
    const QString wanted = exeName.toLower();
    for (const auto& p : Snapshot()) {
        if (p.zombie) continue;
        if (p.name.toLower().startsWith(wanted)) {
            ::kill(static_cast<pid_t>(p.pid), SIGKILL);
            return 1;
        }
    }
    return 0;
}
