#pragma once
#include "platform/ProcessList.h"

#include <string>
#include <vector>

struct ProcessEntry {
    long long pid = 0;
    long long parent = 0;
    QString name;  // executable file name
    bool zombie = false;
};

// Reads /proc. A process's name is the file name of its executable, or of
// its first argument when the executable link cannot be read.
//
// The program sees the whole machine. A list scoped to a root process sees
// only that process and its descendants: a test that starts encoders and
// copies of the program must neither wait for nor kill anybody else's.
class LinuxProcessList : public ProcessList {
public:
    LinuxProcessList() = default;
    explicit LinuxProcessList(long long scopeRoot) : scopeRoot_(scopeRoot) {}

    bool IsRunning(const QString& exeName) override;
    int Count(const QString& exeName) override;
    int KillFirstByPrefix(const QString& exeName) override;

    // Every listed process in id order; empty when /proc cannot be read.
    static std::vector<ProcessEntry> Snapshot();

private:
    // Ids of the scope's processes, sorted.
    std::vector<long long> inScope() const;
    // visit(pid, "/proc/<pid>") for every process the list counts, until it
    // answers false.
    template <class Visit>
    void forEachCounted(Visit visit) const;

    long long scopeRoot_ = 0;  // 0: the whole machine
};
