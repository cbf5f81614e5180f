#include "encoder/ExitWake.h"

#include <QSocketNotifier>
#include <sys/syscall.h>
#include <unistd.h>

ExitWake::ExitWake(long long pid) {
#ifdef SYS_pidfd_open
    if (pid <= 0) return;
    fd_ = static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
    if (fd_ < 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    // Readable from the end on, and it stays so: one wake is enough.
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [n = notifier_.get(), fired = fired_] {
                         n->setEnabled(false);
                         *fired = true;
                     });
#else
    (void)pid;
#endif
}

ExitWake::~ExitWake() {
    notifier_.reset();
    if (fd_ >= 0) ::close(fd_);
}
