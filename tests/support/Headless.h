#pragma once
#include <QString>

// Points the offscreen platform, the settings, run-time and data folders and
// the update host at places of the caller's own (a temporary folder), so that
// nothing touches a display, the user's home or the network. Call it before
// the QApplication is made.
void UseHeadlessEnvironment(const QString& folder);
