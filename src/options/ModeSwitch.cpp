#include "options/ModeSwitch.h"

#include "app/Form1.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

using namespace filelist;

void ModeSwitch::ShowFileHeaders(FileGrid& g, int mode, bool mp3) {
    const QString media = mp3 && mode != FrameAsCover ? QStringLiteral("Mp3") : QStringLiteral("视频");
    switch (mode) {
    case SeriesFromOneVideo:
        g.SetTextMatrix(0, ColFileName, QStringLiteral("封面文件名"));
        g.SetTextMatrix(0, ColFolder, QStringLiteral("封面文件路径"));
        g.SetTextMatrix(0, ColPartnerFile, media + QStringLiteral("文件"));
        break;
    case OneCoverPerVideo:
    case OneCoverForAllVideos:
    case FrameAsCover:
        g.SetTextMatrix(0, ColFileName, media + QStringLiteral("文件名"));
        g.SetTextMatrix(0, ColFolder, media + QStringLiteral("文件路径"));
        g.SetTextMatrix(0, ColPartnerFile, QStringLiteral("图片文件"));
        break;
    default:
        break;
    }
}

ModeSwitch::ModeSwitch(Form1& form) : f_(form) {
    connect(f_.CmbType, &VbCombo::Clicked, this, &ModeSwitch::CmbType_Click);
}

void ModeSwitch::CmbType_Click() {
    const int mode = f_.ProcessingMode();
    FileGrid* g = f_.MSF;

    FileListController::ClearList(f_);
    const int widths[ColumnCount] = {4000, 1400, 900, 900, 1500, 2500};
    for (int c = 0; c < ColumnCount; ++c) g->SetColWidthTwips(c, widths[c]);
    g->SetTextMatrix(0, ColWidth, QStringLiteral("视频宽"));
    g->SetTextMatrix(0, ColHeight, QStringLiteral("视频高"));
    g->SetTextMatrix(0, ColStatus, QStringLiteral("状态"));

    f_.ChSaveAs->setChecked(true);
    f_.ChSaveAs->setEnabled(true);
    f_.ChNum->setChecked(false);
    f_.ChNum->setEnabled(false);
    f_.Frame3->setEnabled(mode == FrameAsCover);
    f_.CmdCover->setEnabled(true);
    f_.ChFileNameAs->setEnabled(false);
    f_.ChFileNameAs->setChecked(false);
    f_.ChCutSize->setEnabled(true);
    f_.ChCutTime->setEnabled(true);
    f_.ChOther->setEnabled(true);
    f_.ChOther->setChecked(false);
    f_.CmdOutDir->setEnabled(true);
    f_.CmdCover->setEnabled(true);
    f_.CmdDo->setText(f_.CmdDoTag());
    f_.ChDelRecover->setChecked(false);
    f_.ChDelRecover->setEnabled(false);
    f_.ChAutoMatch->hide();
    f_.ChAsHead->hide();

    // Mode 1 names videos whatever ChMp3 says; its reaction below renames them.
    ShowFileHeaders(*g, mode, f_.ChMp3->isChecked() && mode != OneCoverPerVideo);
    switch (mode) {
        case SeriesFromOneVideo:
            f_.CmdAddMp4->setText(QStringLiteral("指定视频..."));
            f_.CmdCover->setText(QStringLiteral("添加封面图..."));
            f_.CmdReadMp4->setText(QStringLiteral("读入封面"));
            f_.LBaseVC->setText(QStringLiteral("基准视频："));
            f_.LBase->setText(QStringLiteral("基准视频未指定"));
            f_.ChNum->setChecked(true);
            f_.ChNum->setEnabled(true);
            f_.ChSaveAs->setChecked(true);
            f_.ChSaveAs->setEnabled(false);
            break;
        case OneCoverPerVideo:
            f_.CmdAddMp4->setText(QStringLiteral("添加视频..."));
            f_.CmdCover->setText(QStringLiteral("指定封面图..."));
            f_.CmdReadMp4->setText(QStringLiteral("读入视频"));
            f_.LBaseVC->setText(QStringLiteral("封面图片："));
            f_.LBase->setText(QStringLiteral("封面图片未指定"));
            f_.ChAutoMatch->setChecked(false);
            f_.ChAutoMatch->show();
            break;
        case OneCoverForAllVideos:
            f_.CmdAddMp4->setText(QStringLiteral("添加视频..."));
            f_.CmdCover->setText(QStringLiteral("指定封面图..."));
            f_.CmdReadMp4->setText(QStringLiteral("读入视频"));
            f_.LBaseVC->setText(QStringLiteral("基准封面："));
            f_.LBase->setText(QStringLiteral("基准封面未指定"));
            break;
        case FrameAsCover:
            f_.CmdAddMp4->setText(QStringLiteral("添加视频..."));
            f_.CmdCover->setText(QStringLiteral("指定封面图..."));
            f_.CmdReadMp4->setText(QStringLiteral("读入视频"));
            f_.LBaseVC->setText(QStringLiteral("封面图片："));
            f_.LBase->setText(QStringLiteral("封面图片未指定"));
            f_.CmdCover->setEnabled(false);
            f_.ChFileNameAs->setEnabled(true);
            f_.ChFileNameAs->setChecked(false);
            f_.ChDelRecover->setEnabled(true);
            f_.ChAsHead->show();
            f_.ChAsHead->setChecked(false);
            break;
        case FrameToPicture:
            f_.CmdReadMp4->setText(QStringLiteral("读入视频"));
            f_.CmdDo->setText(QStringLiteral("截取封面"));
            f_.CmdCover->setEnabled(false);
            f_.CmdOutDir->setEnabled(false);
            f_.ChSaveAs->setChecked(false);
            f_.ChSaveAs->setEnabled(false);
            f_.ChOther->setEnabled(false);
            f_.ChCutSize->setChecked(false);
            f_.ChCutTime->setChecked(false);
            f_.ChCutSize->setEnabled(false);
            f_.ChCutTime->setEnabled(false);
            break;
        default:
            break;
    }

    f_.ChMp3->setChecked(false);
    f_.ChMp3->setEnabled(mode == SeriesFromOneVideo || mode == OneCoverPerVideo || mode == OneCoverForAllVideos);

    // Mode 4 takes only videos and keeps the headers of the mode before, and
    // ChMp3's reaction leaves them alone: none may still name Mp3 files.
    if (mode == FrameToPicture)
        for (int c : {ColFileName, ColFolder, ColPartnerFile})
            g->SetTextMatrix(0, c, g->TextMatrix(0, c).replace(QStringLiteral("Mp3"), QStringLiteral("视频")));
}
