#pragma once
// One URL into one local file over libcurl (http and https only, certificates
// checked). Runs on the calling thread; callbacks run inside RunTransfer().
#include "update/DownloadLimits.h"

#include <QString>
#include <QtGlobal>
#include <functional>

class PartFile;

struct TransferOptions {
    QString url;
    TransferLimits limits;
    // Received and total bytes (total 0 while unknown). Returning false aborts.
    std::function<bool(qint64 received, qint64 total)> progress;
    // Called between network waits, at least every few tens of milliseconds,
    // so the caller can give the message loop turns. Returning false aborts,
    // even while the line is silent.
    std::function<bool()> idle;
};

struct TransferResult {
    int curlCode = -1;
    long httpStatus = 0;
    bool aborted = false;  // the caller asked to stop
    bool localFileFailed = false;
    qint64 bytesWritten = 0;
    bool Ok() const { return curlCode == 0 && !aborted && !localFileFailed; }
};

// The body goes into file; only a complete transfer (all of an announced
// length, or the wanted bytes of a limited one) commits it to its target,
// anything else discards it. A transfer that starts on https never follows a
// redirect to anything else.
TransferResult RunTransfer(const TransferOptions& options, PartFile& file);
