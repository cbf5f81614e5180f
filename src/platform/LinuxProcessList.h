#pragma once
#include "platform/ProcessList.h"

#include <vector>

struct ProcessEntry {
    long long pid = 0;
    QString name;  // executable file name
    bool zombie = false;
};

// Reads /proc. A process's name is the file name of its executable, or of
// its first argument when the executable link cannot be read.
class LinuxProcessList : public ProcessList {
public:
    bool IsRunning(const QString& exeName) override;
    int Count(const QString& exeName) override;
    int KillFirstByPrefix(const QString& exeName) override;

    // Every listed process in id order; empty when /proc cannot be read.
    static std::vector<ProcessEntry> Snapshot();
};
