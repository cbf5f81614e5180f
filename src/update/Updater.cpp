#include "update/Updater.h"

#include "app/Form1.h"
#include "common/NumberText.h"
#include "platform/FileOps.h"
#include "platform/Settings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <cstdlib>

const QString Updater::kUpdateFound = QStringLiteral("    发现有更新版本");
const QString Updater::kGreen = QStringLiteral("background-color: rgb(0, 255, 0);");

namespace {
const QString kTitle = QStringLiteral("消息");

// While the main window is hidden, closing the download window or a message
// box must not count as closing the program's last window.
class KeepRunning {
public:
    KeepRunning() : old_(QGuiApplication::quitOnLastWindowClosed()) { QGuiApplication::setQuitOnLastWindowClosed(false); }
    ~KeepRunning() { QGuiApplication::setQuitOnLastWindowClosed(old_); }

private:
    bool old_;
};
}  // namespace

namespace versionfile {

std::optional<QString> FirstLine(const QByteArray& content) {
    QByteArray bytes = content;
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);
    if (bytes.isEmpty()) return std::nullopt;
    int end = 0;
    while (end < bytes.size() && bytes[end] != '\r' && bytes[end] != '\n') ++end;
    return QString::fromUtf8(bytes.left(end));
}

double Value(const QString& text) {
    int b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    return num::LeadingNumber(text.mid(b, e - b));
}

}  // namespace versionfile

QString PackageFolder(const QString& appPath, const QString& programFilesDir, bool hasProgramData,
                      const QString& updateDataFolder) {
    if (!appPath.isEmpty() && programFilesDir.contains(appPath) && hasProgramData) return updateDataFolder;
    return appPath;
}

QString RestarterParameters(const QString& package, const QString& title, const QString& caption) {
    return package + "\t1\t" + title + "\t" + caption;
}

Updater::Updater(Form1& form) : downloads(form.services), f_(form) {
    connect(f_.CmdUpdate, &QPushButton::clicked, this, &Updater::CmdUpdate_Click);
}

QString Updater::VersionFile() const { return f_.AppPathGlobal + "/Plindor.txt"; }

void Updater::VersionCheck() {
    if (!DownloadFileNoCache(updatehost::Base() + updatehost::VersionPath, VersionFile(), VersionLimits)) return;
    QFile file(VersionFile());
    if (!file.open(QIODevice::ReadOnly)) return;
    // An empty file tells nothing about versions: nothing is offered.
    const qint64 wanted = VersionLimits.maxBytes > 0 ? VersionLimits.maxBytes : file.size();
    const std::optional<QString> line = versionfile::FirstLine(file.read(wanted));
    if (!line) return;
    if (versionfile::Value(*line) != num::LeadingNumber(f_.TV->text())) {
        f_.CmdUpdate->setEnabled(true);
        f_.CmdUpdate->setStyleSheet(kGreen);
        f_.setWindowTitle(f_.windowTitle() + kUpdateFound);
    } else {
        f_.CmdUpdate->setStyleSheet(QString());  // the system's button face
    }
}

QString Updater::PollArchiver() {
    const qint64 start = QDateTime::currentSecsSinceEpoch();
    QString found;
    while (found.isEmpty() && std::llabs(QDateTime::currentSecsSinceEpoch() - start) < ArchiverWaitSeconds) {
        QCoreApplication::processEvents();
        QThread::msleep(20);  // a turn, not a busy spin
        found = ArchiverLookup();
    }
    return found;
}

void Updater::ShowMainWindow() {
    f_.show();
    // Only what the flow itself disabled: an add may still hold Frame1.
    if (frame1WasEnabled_) f_.Frame1->setEnabled(true);
}

void Updater::CmdUpdate_Click() {
    Dialogs& dialogs = *f_.services.dialogs;
    if (!f_.CmdUpdate->isEnabled()) {
        dialogs.Beep();
        return;
    }
    dialogs.Message(QStringLiteral("如果自动更新失败，或者人工下载升级包之后解压覆盖原来的，\r\n"
                                   "报告压缩包损坏，请更改的解压缩软件后再尝试解压！"),
                    kTitle, MsgIcon::Information, MsgButtons::Ok);
    KeepRunning keepRunning;
    f_.hide();
    frame1WasEnabled_ = f_.Frame1->isEnabled();
    f_.Frame1->setEnabled(false);
    // A box over the hidden window could come up where nobody sees it; the
    // download window puts its own boxes over itself.
    DialogParent noWindow(dialogs, nullptr);

    const QString dataFolder = updatehost::UpdateDataFolder();
    if (ArchiverLookup().isEmpty()) {
        downloads.DownloadWindowCaption = f_.windowTitle() + QStringLiteral("....资源文件下载中...");
        fileops::MakePath(dataFolder);
        const QString installer = dataFolder + "/WinRAR.exe";
        downloads.DownloadWithProgress(updatehost::Base() + updatehost::ArchiverInstallerPath, installer);
        for (;;) {
            f_.services.shell->Open(installer, dataFolder);
            dialogs.Message(QStringLiteral("资源文件缺失，请先安装默认经典的WinRAR解压缩应用程序！\r\n"
                                           "对不起！有意不支持您本机安装的非经典的360、2345、便压等等解压缩程序。"
                                           "如果您的系统为win7及以上版本，WinRAR安装完毕之后，请务必： \r\n"
                                           "右键WinRAR.exe->属性->兼容性->兼容xp3且勾选始终以管理员权限运行"),
                            kTitle, MsgIcon::Information, MsgButtons::Ok);
            if (!PollArchiver().isEmpty()) break;
            if (dialogs.Message(QStringLiteral("资源文件缺失，请先安装WinRAR解压缩应用程序！"), kTitle,
                                MsgIcon::Information, MsgButtons::RetryCancel) != MsgResult::Retry) {
                ShowMainWindow();
                return;
            }
        }
    }

    downloads.DownloadWindowCaption = f_.windowTitle() + QStringLiteral("....升级文件下载中...");
    const QString folder = PackageFolder(f_.AppPathGlobal, f_.ProgramFilesDir, f_.HasProgramData, dataFolder);
    if (folder == dataFolder) fileops::MakePath(dataFolder);
    const QString package = folder + "/Plindor.rar";
    if (downloads.DownloadWithProgress(updatehost::Base() + updatehost::PackagePath, package)) {
        dialogs.Message(QStringLiteral("更新升级文件包下载完毕！即将自动解压覆盖原文件以完成更新升级！\r\n"
                                       "如果自动解压以完成更新升级失败，请人工右键选中的【Plindor.rar】，\r\n"
                                       "执行解压到当前文件夹下覆盖所有即可成功完成更新升级！"),
                        kTitle, MsgIcon::Information, MsgButtons::Ok);
        f_.services.shell->SelectInFileManager(package);
        if (fileops::Exists(package)) {
            const QString params =
                RestarterParameters(package, QString::fromLatin1(settings_names::Application), f_.windowTitle());
            if (f_.services.shell->StartOutliving(QStringLiteral("Vorbel.exe"), {params}, f_.AppPathGlobal) == 42) {
                f_.services.app->EndNow();
                return;
            }
        }
        f_.show();
    } else {
        dialogs.Message(QStringLiteral("更新升级文件包下载失败，请稍后重试！"), kTitle, MsgIcon::Exclamation,
                        MsgButtons::Ok);
    }
    ShowMainWindow();
    f_.CmdUpdate->setEnabled(true);
}
