#pragma once
// The main window: every control under its own name (objectName too), the
// window-level state, and the controllers that hold the handlers.
#include "platform/Dialogs.h"
#include "platform/Services.h"

#include <QMainWindow>
#include <QString>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class FileGrid;
class StatusPanels;
class UpDown;
class VbCombo;

class FileListController;
class ModeSwitch;
class Interlocks;
class OptionValidators;
class SizeSwap;
class Intake;
class BatchRun;
class Updater;

// A common open-file dialog's properties, filled before it is shown.
struct CommonDialog {
    QString FileName;
    QString DialogTitle;
    QString Filter;
    long Flags = 0;
    int MaxFileSize = 260;
};

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    static const QString kCaption;

    Form1(const QString& appPath, Services services, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up before the window shows; false when the program must end now.
    bool Form_Load();
    // The close question and clean-up; sets cancel to keep the window open.
    void Form_Unload(bool& cancel);
    void CmdAbout_Click();
    void Stb_PanelClick(int panel);

    // Shows a common dialog through the dialog service; fills its FileName.
    void ShowOpen(CommonDialog& dlg);
    // True once the window has been closed for good: loops that yield must
    // stop touching it.
    bool IsClosed() const { return closed_; }

    Services services;

    // Window-level state.
    bool Busy = false;
    bool StopRequested = false;
    QString VideoFilter;
    QString ProbeWidth;
    QString ProbeHeight;
    bool IsWow64Flag = false;
    int AccIndex = -1;
    bool CanAcc = false;
    QString ProgramFilesDir;
    bool HasProgramData = false;
    QString AppPathGlobal;

    // Dialogs.
    CommonDialog Cdg;
    CommonDialog CdgMp4;
    CommonDialog CmdPic;

    // Frames.
    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QGroupBox* Frame3;
    QGroupBox* Frame4;

    // Buttons.
    QPushButton* CmdAddMp4;
    QPushButton* CmdCover;
    QPushButton* CmdReadMp4;
    QPushButton* CmdDel;
    QPushButton* CmdIndir;
    QPushButton* CmdOutDir;
    QPushButton* CmdDo;
    QPushButton* CmdStop;
    QPushButton* CmdAbout;
    QPushButton* CmdUpdate;

    // Check boxes.
    QCheckBox* ChAsHead;
    QCheckBox* ChAutoMatch;
    QCheckBox* ChMp3;
    QCheckBox* ChDoSels;
    QCheckBox* ChDelRecover;
    QCheckBox* ChColor;
    QCheckBox* ChFileNameAs;
    QCheckBox* ChCutTime;
    QCheckBox* ChCutSize;
    QCheckBox* ChPercent;
    QCheckBox* ChNum;
    QCheckBox* ChSaveAs;
    QCheckBox* ChSub;
    QCheckBox* ChOther;
    QCheckBox* ChSpeed;
    QCheckBox* ChSwap;

    // Lists.
    VbCombo* CmbType;
    VbCombo* CmbSize;
    VbCombo* CmbVBit;
    VbCombo* CmbFrms;
    VbCombo* CmbVCode;
    VbCombo* CmbABit;
    VbCombo* CmbARate;
    VbCombo* CmbComp;

    // Text boxes.
    QLineEdit* TPos;
    QLineEdit* TSizeCut;
    QLineEdit* TTimeCut;
    QLineEdit* TV;  // the running version, never shown

    // Labels.
    QLabel* LBaseVC;
    QLabel* LBase;
    QLabel* LInDir;
    QLabel* LDir;
    QLabel* LPos;

    UpDown* UpDown1;
    FileGrid* MSF;
    StatusPanels* Stb;

    // Controllers.
    std::unique_ptr<FileListController> fileList;
    std::unique_ptr<ModeSwitch> modeSwitch;
    std::unique_ptr<Interlocks> interlocks;
    std::unique_ptr<OptionValidators> validators;
    std::unique_ptr<SizeSwap> sizeSwap;
    std::unique_ptr<Intake> intake;
    std::unique_ptr<BatchRun> batch;
    std::unique_ptr<Updater> updater;

    // The processing mode: CmbType's list index.
    int ProcessingMode() const;
    QString ProgressText() const;
    void SetProgressText(const QString& text);
    // CmdDo's default caption.
    QString CmdDoTag() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    bool closed_ = false;
};
