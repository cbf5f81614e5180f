#include "platform/LinuxProcessList.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/types.h>
#include <unistd.h>

// The encoder wait asks this list every few milliseconds, so it reads /proc
// with plain system calls and looks at a process's state only when its name
// matters: Qt's file classes cost several times as much per process.

namespace {

// Reads a small /proc file whole; empty when it cannot be read.
std::string readSmall(const std::string& path) {
    std::string out;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() >= 65536) break;
    }
    ::close(fd);
    return out;
}

QString baseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return QFile::decodeName(QByteArray::fromStdString(slash == std::string::npos ? path : path.substr(slash + 1)));
}

// The file name of the executable; of the first argument when the executable
// link cannot be read (another user's process); else the kernel's short name.
// With userOnly, processes without an executable (kernel threads, zombies,
// processes that have let go of their memory on the way out or are gone)
// give an empty name: none of them runs a program any more, and skipping them
// saves most of the reading.
QString nameOf(const std::string& dir, bool userOnly = false) {
    char link[4096];
    const ssize_t n = ::readlink((dir + "/exe").c_str(), link, sizeof link - 1);
    if (n < 0 && userOnly && errno == ENOENT) return {};
    if (n > 0) {
        std::string target(link, static_cast<size_t>(n));
        const std::string deleted = " (deleted)";
        if (target.size() > deleted.size() && target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
            target.resize(target.size() - deleted.size());
        const QString name = baseName(target);
        if (!name.isEmpty()) return name;
    }
    const std::string cmdline = readSmall(dir + "/cmdline");
    const std::string first = cmdline.substr(0, cmdline.find('\0'));
    if (!first.empty()) return baseName(first);
    std::string comm = readSmall(dir + "/comm");
    while (!comm.empty() && (comm.back() == '\n' || comm.back() == ' ')) comm.pop_back();
    return QFile::decodeName(QByteArray::fromStdString(comm));
}

struct StatFields {
    bool readable = false;
    char state = '?';
    long long parent = 0;
};

StatFields statOf(const std::string& dir) {
    StatFields f;
    const std::string s = readSmall(dir + "/stat");
    if (s.empty()) return f;  // gone meanwhile
    // State and parent follow the last ")" of the command field.
    const auto close = s.rfind(')');
    if (close == std::string::npos || close + 2 >= s.size()) return f;
    f.readable = true;
    f.state = s[close + 2];
    f.parent = std::strtoll(s.c_str() + close + 3, nullptr, 10);
    return f;
}

bool isZombie(const std::string& dir) {
    const StatFields f = statOf(dir);
    return !f.readable ? true : (f.state == 'Z' || f.state == 'X');
}

// Calls visit(pid, dir) for every process; false when /proc cannot be read.
template <class Visit>
bool forEachProcess(Visit visit) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    while (const dirent* e = ::readdir(proc)) {
        char* end = nullptr;
        const long long pid = std::strtoll(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0' || pid <= 0) continue;
        if (!visit(pid, std::string("/proc/") + e->d_name)) break;
    }
    ::closedir(proc);
    return true;
}

}  // namespace

std::vector<ProcessEntry> LinuxProcessList::Snapshot() {
    std::vector<ProcessEntry> list;
    forEachProcess([&](long long pid, const std::string& dir) {
        ProcessEntry p;
        p.pid = pid;
        p.name = nameOf(dir);
        const StatFields f = statOf(dir);
        p.zombie = !f.readable || f.state == 'Z' || f.state == 'X';
        p.parent = f.parent;
        list.push_back(p);
        return true;
    });
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return list;
}

std::vector<long long> LinuxProcessList::inScope() const {
    // Every process's parent, read from its own entry. The kernel's per-thread
    // child lists would be cheaper, but they can skip a child while another
    // one starts or ends, and a missed encoder ends a wait too early.
    std::vector<std::pair<long long, long long>> links;  // parent, child
    forEachProcess([&](long long pid, const std::string& dir) {
        links.emplace_back(statOf(dir).parent, pid);
        return true;
    });
    std::vector<long long> scope{scopeRoot_};
    for (size_t i = 0; i < scope.size(); ++i)
        for (const auto& [parent, child] : links)
            if (parent == scope[i]) scope.push_back(child);
    std::sort(scope.begin(), scope.end());
    scope.erase(std::unique(scope.begin(), scope.end()), scope.end());
    return scope;
}

template <class Visit>
void LinuxProcessList::forEachCounted(Visit visit) const {
    if (scopeRoot_ <= 0) {
        forEachProcess(visit);
        return;
    }
    for (const long long pid : inScope())
        if (!visit(pid, "/proc/" + std::to_string(pid))) return;
}

int LinuxProcessList::Count(const QString& exeName) {
    int n = 0;
    if (exeName.isEmpty()) return 0;
    forEachCounted([&](long long, const std::string& dir) {
        if (nameOf(dir, true).compare(exeName, Qt::CaseInsensitive) == 0 && !isZombie(dir)) ++n;
        return true;
    });
    return n;
}

bool LinuxProcessList::IsRunning(const QString& exeName) {
    bool found = false;
    if (exeName.isEmpty()) return false;
    forEachCounted([&](long long, const std::string& dir) {
        found = nameOf(dir, true).compare(exeName, Qt::CaseInsensitive) == 0 && !isZombie(dir);
        return !found;
    });
    return found;
}

int LinuxProcessList::KillFirstByPrefix(const QString& exeName) {
    const QString wanted = exeName.toLower();
    std::vector<long long> scope;
    if (scopeRoot_ > 0) scope = inScope();
    for (const auto& p : Snapshot()) {
        if (p.zombie || (scopeRoot_ > 0 && !std::binary_search(scope.begin(), scope.end(), p.pid))) continue;
        if (p.name.toLower().startsWith(wanted)) {
            ::kill(static_cast<pid_t>(p.pid), SIGKILL);
            return 1;
        }
    }
    return 0;
}
