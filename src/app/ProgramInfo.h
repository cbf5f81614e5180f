#pragma once
#include <QString>

namespace program {
// The executable's own file name, as the process list shows it.
inline const char* const ExeName = "plindor";
inline const char* const EncoderExe = "Mezzor.exe";
inline const char* const EncoderLibrary = "Mezzor.dll";
// The maker's site, opened from the status bar.
inline const char* const HomePage = "https://plindor.example/";
}  // namespace program

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
