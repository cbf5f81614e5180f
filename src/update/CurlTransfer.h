#pragma once
// One URL into one local file over libcurl (http and https only, certificates
// checked). Runs on the calling thread; callbacks run inside Run().
#include <QString>
#include <QtGlobal>
#include <functional>

struct TransferOptions {
    QString url;
    QString target;
    // Seconds; 0 means no limit.
    long connectTimeout = 30;
    long totalTimeout = 0;
    // Abort when fewer than 1 byte/s arrive for this long; 0: never.
    long lowSpeedTime = 0;
    // Received and total bytes (total 0 while unknown). Returning false aborts.
    std::function<bool(qint64 received, qint64 total)> progress;
    // Called between network waits; when set the transfer is driven in short
    // steps so the caller can give the message loop turns. Returning false
    // aborts, even while the line is silent.
    std::function<bool()> idle;
};

struct TransferResult {
    int curlCode = -1;
    long httpStatus = 0;
    bool aborted = false;  // the progress callback asked to stop
    bool localFileFailed = false;
    qint64 bytesWritten = 0;
    bool Ok() const { return curlCode == 0 && !aborted && !localFileFailed; }
};

// The target is created (or emptied) when the first data arrives, or at the
// end of a successful transfer that carried none; a transfer that fails
// before any data leaves an existing target untouched.
TransferResult RunTransfer(const TransferOptions& options);
