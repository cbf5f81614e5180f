#pragma once
// The folder picker used for the input, output and cover folders.
#include <QString>

class Dialogs;

// Opens the picker on startFolder ("" opens it on the root). Gives the chosen
// folder ending in one "/", the program folder (no trailing "/") when the
// choice is not an existing folder, or "" on cancel.
QString BrowseForFolder(Dialogs& dialogs, const QString& appPath, const QString& prompt,
                        const QString& startFolder);
