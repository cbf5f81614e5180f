#pragma once
// The version check at start-up and the update button's flow.
#include "update/ModalDownload.h"
#include "update/UpdateHost.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

class Form1;

namespace versionfile {
// The first line of a version file's bytes (UTF-8, a leading byte-order mark
// dropped); nothing when the file holds no line at all.
std::optional<QString> FirstLine(const QByteArray& content);
// The number a version text starts with, spaces around it ignored; 0 when none.
double Value(const QString& text);
}  // namespace versionfile

// Where the update package goes: the per-user data folder when the program
// lies inside the system's program folder (which it may not write), else the
// program folder itself.
QString PackageFolder(const QString& appPath, const QString& programFilesDir, bool hasProgramData,
                      const QString& updateDataFolder);
// The restarter's single argument: package, "1", title and caption, tab-separated.
QString RestarterParameters(const QString& package, const QString& title, const QString& caption);

class Updater : public QObject {
    Q_OBJECT
public:
    explicit Updater(Form1& form);

    // Start-up: may offer an update on CmdUpdate and in the window caption.
    void VersionCheck();
    void CmdUpdate_Click();

    QString VersionFile() const;

    ModalDownload downloads;
    // The archiver's path, "" when it is missing.
    std::function<QString()> ArchiverLookup = updatehost::FindArchiver;
    // How long the flow waits for the archiver to appear after offering its installer.
    int ArchiverWaitSeconds = 60;
    TransferLimits VersionLimits = dllimits::VersionCheck();

    static const QString kUpdateFound;
    static const QString kGreen;

private:
    // Waits while the message loop runs until the archiver shows up or the
    // wait is over; its path, or "".
    QString PollArchiver();
    void ShowMainWindow();

    Form1& f_;
    bool frame1WasEnabled_ = true;
};
