// Start-up, the close question and the small window actions of Form1.
#include "app/Form1.h"
#include "platform/ProgramInfo.h"
#include "app/StatusPanels.h"
#include "app/VbCombo.h"
#include "platform/FileOps.h"
#include "update/Updater.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>

namespace {

const QString kMediaFilter =
    QStringLiteral("媒体文件|*.mpeg;*.wmv;*.divx;*.dat;*.mpx;*.asf;*.avi;*.mov;") +
    QStringLiteral("*.mpg;*.rm;*.rmvb;*.mp4;*.mkv;*.ogg;*.vob;*.mka;*.mks;*.ogm;*.mpgv;*.mpv;*.m1v;") +
    QStringLiteral("*.m2v;*.qt;*.ra;*.ifo;*.dts;*.ape;*.mac;*.au;*.iff;*.svx8;*.sv16;") +
    QStringLiteral("*.paf;*.sd2;*.irca;*.w64;*.mat;*.pvf;*.xi;*.sds;*.avr;*.flv|其他媒体文件(慎用，可能出错或无结果)|*.*");

bool anotherInstanceRunning(ProcessList& processes) {
    const QString own = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const bool selfCounted = own.compare(program::ExeName, Qt::CaseInsensitive) == 0;
    return processes.Count(program::ExeName) - (selfCounted ? 1 : 0) > 0;
}

}  // namespace

bool Form1::Form_Load() {
    // 1. One instance only.
    if (anotherInstanceRunning(*services.processes)) {
        const MsgResult r = services.dialogs->Message(
            QStringLiteral("程序正在运行中，禁止重复运行！\r\n是——放弃重复运行\r\n否——强制终止正在运行中的本程序"),
            QStringLiteral("消息"), MsgIcon::Exclamation, MsgButtons::YesNo, 0, 0);
        // Escape or closing the box is the safe "是": only a chosen "否" kills.
        if (r == MsgResult::No) KillProcessByName(*services.processes, program::ExeName);
        return false;
    }

    // 2-3. Platform and the hardware decoder's stored outcome.
    IsWow64Flag = IsWow64();
    AccIndex = -1;
    if (const auto stored = services.settings->Get(settings_names::AccIndex)) {
        if (const auto v = SettingAsInt16(*stored)) AccIndex = *v;
    }
    if (AccIndex != -1) {
        CanAcc = false;
        if (const auto stored = services.settings->Get(settings_names::CanAcc)) {
            if (const auto v = SettingAsBool(*stored)) CanAcc = *v;
        }
        if (!CanAcc) ChSpeed->setEnabled(false);
    }

    // 4-5. Lists to their first items; compression levels 0 to 50.
    CmbFrms->SetListIndex(0);
    CmbVCode->SetListIndex(0);
    CmbABit->SetListIndex(0);
    CmbARate->SetListIndex(0);
    CmbComp->clear();
    for (int i = 0; i <= 50; ++i) CmbComp->addItem(QString::number(i));
    CmbComp->SetListIndex(0);

    // 6-7.
    ProgramFilesDir = qEnvironmentVariable("programfiles");
    HasProgramData = !qEnvironmentVariable("programdata").isEmpty();
    VideoFilter = kMediaFilter;
    CdgMp4.Filter = VideoFilter;

    // 8. The version check.
    updater->VersionCheck();

    // 9-10. Program folder and the default output folder.
    const QString output = workfiles::In(AppPathGlobal, workfiles::DefaultOutputFolder);
    if (!fileops::FolderExists(output)) fileops::MakePath(output + "/");
    LDir->setText(output + "/");

    // 11. Mode 0 lays out the list.
    CmbType->SetListIndex(0);

    // 12. The encoder executable; a failure shows later in the rows' results.
    const QString exe = AppPathGlobal + "/" + program::EncoderExe;
    if (fileops::CopyFile(AppPathGlobal + "/" + program::EncoderLibrary, exe) == fileops::CopyResult::Ok)
        QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner | QFile::ExeGroup |
                                       QFile::ExeOther | QFile::ReadOwner);
    // 13. The 32-bit variants do not exist on a 64-bit build.
    if (!IsWow64Flag) VideoFilter = QStringLiteral("MP4|*.mp4");
    return true;
}

void Form1::Form_Unload(bool& cancel) {
    if (services.dialogs->Message(QStringLiteral("确定关闭程序？"), QStringLiteral("消息"), MsgIcon::Information,
                                  MsgButtons::OkCancel, 1) != MsgResult::Ok) {
        cancel = true;
        return;
    }
    KillProcessByName(*services.processes, program::EncoderExe);
    fileops::DeleteFile(AppPathGlobal + "/" + program::EncoderExe);
}

void Form1::CmdAbout_Click() {
    services.dialogs->Message(
        QStringLiteral("本程序适用于更改视频封面图的场合，适合自媒体个人/单位等使用。\r\n"
                       "支持MP4视频与MP3音频的封面更换、截取视频帧作封面、文件名作封面。"),
        QStringLiteral("消息"), MsgIcon::Information, MsgButtons::Ok);
}

void Form1::Stb_PanelClick(int panel) {
    if (panel == 1 || panel == 7) services.shell->Open(QString::fromLatin1(program::HomePage));
}
