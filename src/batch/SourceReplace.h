#pragma once
// Putting a finished result in place of its target without ever leaving the
// target missing. On the target's own file system the result itself is
// renamed over the target once it is on disk; from another file system it is
// first copied beside the target under a hidden name and then renamed, so the
// old file stays until the new one is complete. Either way the result takes
// the target's permission bits (and its owner, where allowed).
#include <QString>
#include <functional>
#include <optional>

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

// The file a path names: itself, or for a symbolic link the regular file it
// leads to; nothing when the link leads nowhere or not to a regular file.
std::optional<QString> FileBehind(const QString& path);

// Puts newContent in place of target as described above; after a rename the
// work file is gone. When a copy runs out of space, askRetry(mountPoint of
// the target) decides: true copies again, false gives up. A symbolic link
// stays a link: the file behind it gets the new content, and a link that
// cannot be followed fails with nothing changed.
Outcome PutInPlace(const QString& newContent, const QString& target,
                   const std::function<bool(const QString& mountPoint)>& askRetry);

}  // namespace replace
