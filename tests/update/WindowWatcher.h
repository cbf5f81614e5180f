#pragma once
// Acts on the open download window while a download runs.
#include "update/ModalDownload.h"
#include "update/frmDnLoad.h"

#include <QTimer>
#include <functional>

// Looks at the open download window every few milliseconds while a download
// runs; act returns true once it has done its part.
class WindowWatcher {
public:
    WindowWatcher(ModalDownload& dl, std::function<bool(frmDnLoad&)> act) {
        QObject::connect(&timer_, &QTimer::timeout, [&dl, act, this] {
            if (done_ || busy_) return;  // act may give the loop turns itself
            busy_ = true;
            if (frmDnLoad* w = dl.DnLoad()) done_ = act(*w);
            busy_ = false;
        });
        timer_.start(10);
    }
    bool Done() const { return done_; }

private:
    QTimer timer_;
    bool done_ = false;
    bool busy_ = false;
};
