#pragma once
// Putting a finished result in place of its target without ever leaving the
// target missing: the new content is copied beside the target under a hidden
// name and then renamed over it, so the old file stays until the new one is
// complete.
#include <QString>
#include <functional>

namespace replace {

enum class Outcome {
    Placed,     // the target now holds the new content
    Failed,     // nothing changed at the target
    Cancelled,  // disk full and the user gave up; nothing changed at the target
};

// The hidden work name beside the target.
QString StagingPathFor(const QString& target);
// The disk-full question's text for the file system mounted at mountPoint.
QString DiskFullText(const QString& mountPoint);

// Copies newContent over target as described above. When the copy runs out
// of space, askRetry(mountPoint of the target) decides: true copies again,
// false gives up.
Outcome PutInPlace(const QString& newContent, const QString& target,
                   const std::function<bool(const QString& mountPoint)>& askRetry);

}  // namespace replace
