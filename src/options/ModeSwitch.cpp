#include "options/ModeSwitch.h"

#include "app/Form1.h"
#include "app/VbCombo.h"
#include "filelist/FileGrid.h"
#include "filelist/FileListController.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

ModeSwitch::ModeSwitch(Form1& form) : f_(form) {
    connect(f_.CmbType, &VbCombo::Clicked, this, &ModeSwitch::CmbType_Click);
}

void ModeSwitch::CmbType_Click() {
    const int mode = f_.ProcessingMode();
    FileGrid* g = f_.MSF;

    FileListController::ClearList(f_);
    const int widths[6] = {4000, 1400, 900, 900, 1500, 2500};
    for (int c = 0; c < 6; ++c) g->SetColWidthTwips(c, widths[c]);
    g->SetTextMatrix(0, 2, QStringLiteral("视频宽"));
    g->SetTextMatrix(0, 3, QStringLiteral("视频高"));
    g->SetTextMatrix(0, 5, QStringLiteral("状态"));

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

    const bool mp3 = f_.ChMp3->isChecked();
    auto videoHeaders = [&] {
        g->SetTextMatrix(0, 0, mp3 ? QStringLiteral("Mp3文件名") : QStringLiteral("视频文件名"));
        g->SetTextMatrix(0, 1, mp3 ? QStringLiteral("Mp3文件路径") : QStringLiteral("视频文件路径"));
        g->SetTextMatrix(0, 4, QStringLiteral("图片文件"));
    };
    switch (mode) {
        case SeriesFromOneVideo:
            f_.CmdAddMp4->setText(QStringLiteral("指定视频..."));
            f_.CmdCover->setText(QStringLiteral("添加封面图..."));
            f_.CmdReadMp4->setText(QStringLiteral("读入封面"));
            f_.LBaseVC->setText(QStringLiteral("基准视频："));
            f_.LBase->setText(QStringLiteral("基准视频未指定"));
            g->SetTextMatrix(0, 0, QStringLiteral("封面文件名"));
            g->SetTextMatrix(0, 1, QStringLiteral("封面文件路径"));
            g->SetTextMatrix(0, 4, mp3 ? QStringLiteral("Mp3文件") : QStringLiteral("视频文件"));
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
            g->SetTextMatrix(0, 0, QStringLiteral("视频文件名"));
            g->SetTextMatrix(0, 1, QStringLiteral("视频文件路径"));
            g->SetTextMatrix(0, 4, QStringLiteral("图片文件"));
            f_.ChAutoMatch->setChecked(false);
            f_.ChAutoMatch->show();
            break;
        case OneCoverForAllVideos:
            f_.CmdAddMp4->setText(QStringLiteral("添加视频..."));
            f_.CmdCover->setText(QStringLiteral("指定封面图..."));
            f_.CmdReadMp4->setText(QStringLiteral("读入视频"));
            f_.LBaseVC->setText(QStringLiteral("基准封面："));
            f_.LBase->setText(QStringLiteral("基准封面未指定"));
            videoHeaders();
            break;
        case FrameAsCover:
            f_.CmdAddMp4->setText(QStringLiteral("添加视频..."));
            f_.CmdCover->setText(QStringLiteral("指定封面图..."));
            f_.CmdReadMp4->setText(QStringLiteral("读入视频"));
            f_.LBaseVC->setText(QStringLiteral("封面图片："));
            f_.LBase->setText(QStringLiteral("封面图片未指定"));
            videoHeaders();
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

    // Modes 3 and 4 take only videos, and ChMp3's reaction leaves their
    // headers alone: none may still name Mp3 files from the mode before.
    if (mode == FrameAsCover || mode == FrameToPicture)
        for (int c : {0, 1, 4})
            g->SetTextMatrix(0, c, g->TextMatrix(0, c).replace(QStringLiteral("Mp3"), QStringLiteral("视频")));
}
