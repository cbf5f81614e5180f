#pragma once
// A download's bytes under a hidden temporary name beside the target. The
// target is replaced only by Commit, so a download that fails or is cut off
// leaves an earlier file as it was.
#include <QFile>
#include <QString>

class PartFile {
public:
    explicit PartFile(const QString& target);
    ~PartFile();  // an uncommitted file is removed
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Appends; the temporary file is made on the first call.
    bool Write(const char* data, qint64 size);
    // Gives what has been written (an empty file when nothing was) the
    // target's name, replacing an earlier file in one step.
    bool Commit();
    // Removes what has been written; the target is not touched.
    void Discard();

    qint64 Size() const { return size_; }
    bool Failed() const { return failed_; }

private:
    bool open();

    QString target_;
    QFile file_;
    qint64 size_ = 0;
    bool failed_ = false;
    bool committed_ = false;
    bool discarded_ = false;
};
