#pragma once
// The work files the program keeps under fixed names in its own folder
// (Tmp.mp4, Cover.png, Head.mkv...). A user may keep a file of the same name
// there, or a link; the program clears or writes only the ones it made.
// Each is marked when it is created, with an extended attribute, or where
// the file system has none, in a record beside it (".plindor-own"), so that
// a file left by a run that ended abruptly is still known as the program's.
#include <QString>

namespace ownfiles {

// A regular file the program made (a link never is).
bool IsOwn(const QString& path);
// Makes the name free: a file the program made is removed; nothing there is
// fine. False, with nothing touched, when anything else is there.
bool Free(const QString& path);
// Creates the name as an empty, marked file; never through a link, never
// over anything. False when it cannot.
bool Make(const QString& path);
// Free, then Make: an empty file of the program's own, to be written in place.
inline bool Fresh(const QString& path) { return Free(path) && Make(path); }

}  // namespace ownfiles
