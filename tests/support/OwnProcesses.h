#pragma once
// Process lists for tests that see only what the test program started.
//
// Other copies of the program and other encoders may run on the machine
// (another user's batch, another test run); a test must neither wait for them
// nor kill them, so every test hands the window this list instead of the
// machine-wide one.
#include "platform/LinuxProcessList.h"

#include <QString>

// This test program and its descendants.
class OwnProcessList : public LinuxProcessList {
public:
    OwnProcessList();
};

// A process that is not ours: a copy of sleep under the given name, started
// through a double fork so that it belongs to nobody's tree but init's. It
// stands for another program's encoder or another copy of the program, and
// is ended when this object goes.
class ForeignProcess {
public:
    ForeignProcess(const QString& name, int seconds = 600);
    ~ForeignProcess();
    ForeignProcess(const ForeignProcess&) = delete;
    ForeignProcess& operator=(const ForeignProcess&) = delete;

    long long Pid() const { return pid_; }
    bool Alive() const;

private:
    QString folder_;
    long long pid_ = 0;
};
