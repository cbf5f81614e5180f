#pragma once
#include <QString>
#include <QStringList>

// The machine's process list, by executable name.
class ProcessList {
public:
    virtual ~ProcessList() = default;
    // Whether a live process (zombies excluded) has this executable name,
    // case ignored. False also when the list cannot be read.
    virtual bool IsRunning(const QString& exeName) = 0;
    // Number of live processes with this executable name, case ignored.
    virtual int Count(const QString& exeName) = 0;
    // Kills (SIGKILL) the first process, in id order, whose name begins with
    // exeName, case ignored. 1 when one was found, else 0.
    virtual int KillFirstByPrefix(const QString& exeName) = 0;
};
