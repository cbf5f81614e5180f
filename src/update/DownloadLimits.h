#pragma once
// Every time and size limit of the updater's transfers, in one place.
#include <QString>
#include <QtGlobal>

// What a single transfer may take. 0 means no limit.
struct TransferLimits {
    long connectMs = 0;  // name lookup, connection and TLS set-up
    long totalMs = 0;    // the whole transfer
    long stallMs = 0;    // nothing received for this long (total known or not)
    // Bytes wanted at most; the transfer ends as complete once they are in.
    qint64 maxBytes = 0;
    // Certificates to trust instead of the system's; "" for the system's.
    QString caFile;
};

namespace dllimits {

// Downloads in the progress window (update package, archiver installer).
constexpr long kConnectSeconds = 30;
constexpr long kStallSeconds = 60;
// The window's own wait while no total is known.
constexpr int kConnectionWaitSeconds = 300;

// The version check runs before the main window shows, so it gives up
// quickly whatever the host does; its file has one short line that matters.
constexpr long kVersionConnectMs = 1500;
constexpr long kVersionTotalMs = 2000;
constexpr qint64 kVersionMaxBytes = 4096;

constexpr long kMaxRedirects = 5;

inline TransferLimits WindowDownload() {
    TransferLimits l;
    l.connectMs = kConnectSeconds * 1000;
    l.stallMs = kStallSeconds * 1000;
    return l;
}

inline TransferLimits VersionCheck() {
    TransferLimits l;
    l.connectMs = kVersionConnectMs;
    l.totalMs = kVersionTotalMs;
    l.maxBytes = kVersionMaxBytes;
    return l;
}

}  // namespace dllimits
