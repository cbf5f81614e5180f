#pragma once
// Facts about the machine and the program's stored settings.
#include "common/ProgramFiles.h"

#include <QString>

// True when the operating system is 64-bit.
bool IsWow64();
// Kills the first process (id order) whose name begins with exeName; 1 when found.
class ProcessList;
long KillProcessByName(ProcessList& processes, const QString& exeName);
// The stored settings' readings: a whole number in the 16-bit range, and a
// Boolean word or number; nothing for any other text.
#include <optional>
std::optional<int> SettingAsInt16(const QString& text);
std::optional<bool> SettingAsBool(const QString& text);
