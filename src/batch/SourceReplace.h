#pragma once
// Putting a finished result in place of its target without ever leaving the
// target missing or changing any file but the one the row read.
//
// In place: the result is moved (on one file system) or copied (from
// another) beside the target under a work name no one can guess, given
// everything of the target that says who may use it, flushed, and then
// swapped with the target, but only while the target is still the file the
// row read; the old file then goes. Into an output folder: the result takes
// its name only while nothing else has.
#include "platform/FileOps.h"

#include <QString>
#include <functional>
#include <optional>

namespace replace {

enum class Outcome {
    Placed,     // the target now holds the new content
    Failed,     // nothing changed at the target
    Cancelled,  // disk full and the user gave up; nothing changed at the target
};

// The disk-full question's text for the file system mounted at mountPoint.
QString DiskFullText(const QString& mountPoint);

// The file a path names: itself, or for a symbolic link the regular file it
// leads to; nothing when the link leads nowhere or not to a regular file.
std::optional<QString> FileBehind(const QString& path);

// Puts newContent in place of target as described above, when target (for
// a symbolic link, the file behind it; the link stays) is still the file
// `read` stamps and has no other name: hard links are not split. When a copy
// runs out of space, askRetry(mountPoint of the target) decides: true copies
// again, false gives up. newContent is left to the caller unless it moved.
Outcome PutInPlace(const QString& newContent, const QString& target, const fileops::FileStamp& read,
                   const std::function<bool(const QString& mountPoint)>& askRetry);

// Gives newContent, a work file in target's folder, the name target while
// nothing has that name.
Outcome PutNew(const QString& newContent, const QString& target);

}  // namespace replace
