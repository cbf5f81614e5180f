#pragma once
// Where updates come from and where their files go.
#include "update/DownloadLimits.h"

#include <QString>

namespace updatehost {

// The download host's base address, ending in "/"; the environment variable
// PLINDOR_UPDATE_BASE replaces it (tests point it at a loopback server).
inline const char* const DefaultBase = "https://plindor.example/";
QString Base();

inline const char* const VersionPath = "downs/Plindor.txt";
inline const char* const PackagePath = "downs/Plindor.rar";
inline const char* const ArchiverInstallerPath = "downs/wrar411sc.rar";
inline const char* const SetupPackagePath = "downs/Plindor_Setup.rar";

// The per-user data folder for downloads that must not go into the program
// folder: $XDG_DATA_HOME/Plindor (normally ~/.local/share/Plindor).
QString UpdateDataFolder();

// A RAR unpacker on PATH (unrar, rar or unar); "" when there is none.
QString FindArchiver();

}  // namespace updatehost

// Downloads without progress display; true when the transfer completed
// within its limits. An earlier file is replaced only then.
bool DownloadFileNoCache(const QString& Url, const QString& LocalFile, const TransferLimits& limits);
