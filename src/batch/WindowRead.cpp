#include "batch/WindowRead.h"

#include "app/Form1.h"
#include "app/VbCombo.h"
#include "batch/ResultCheck.h"
#include "filelist/FileGrid.h"
#include "platform/Settings.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>

EncodeControls EncodeControlsOf(const Form1& f) {
    EncodeControls c;
    c.other = f.ChOther->isChecked();
    c.sizeIndex = f.CmbSize->ListIndex();
    c.sizeText = f.CmbSize->Text();
    c.vbitIndex = f.CmbVBit->ListIndex();
    c.vbitText = f.CmbVBit->Text();
    c.frmsIndex = f.CmbFrms->ListIndex();
    c.frmsText = f.CmbFrms->Text();
    c.abitIndex = f.CmbABit->ListIndex();
    c.abitText = f.CmbABit->Text();
    c.arateIndex = f.CmbARate->ListIndex();
    c.arateText = f.CmbARate->Text();
    c.compText = f.CmbComp->Text();
    return c;
}

std::optional<QString> BuildEncodeOptions(const Form1& form, const QString& file) {
    return BuildEncodeOptions(EncodeControlsOf(form), EncodeProbes::ForFile(file));
}

RunOptions RunOptionsOf(const Form1& f) {
    RunOptions o;
    o.mode = f.ProcessingMode();
    o.saveAs = f.ChSaveAs->isChecked();
    o.mp3 = f.ChMp3->isChecked();
    o.numbered = f.ChNum->isChecked();
    o.cutTime = f.ChCutTime->isChecked();
    o.cutSize = f.ChCutSize->isChecked();
    o.percent = f.ChPercent->isChecked();
    o.delRecover = f.ChDelRecover->isChecked();
    o.asHead = f.ChAsHead->isChecked();
    o.fileNameAs = f.ChFileNameAs->isChecked();
    o.colour = f.ChColor->isChecked();
    o.position = f.TPos->text();
    o.timeCut = f.TTimeCut->text();
    o.sizeCut = f.TSizeCut->text();
    o.baseCaption = f.LBase->text();
    o.outputDir = f.LDir->text();
    o.programFolder = f.AppPathGlobal;
    o.encode = EncodeControlsOf(f);
    return o;
}

EncoderHost EncoderHostOf(Form1& form, BackgroundReaper* reaper) {
    EncoderHost h;
    h.shell = form.services.shell;
    h.processes = form.services.processes;
    h.programFolder = form.AppPathGlobal;
    QPointer<Form1> guard(&form);
    h.windowClosed = [guard] { return !guard || guard->IsClosed(); };
    h.reaper = reaper;
    return h;
}

bool FormRunWindow::Closed() const { return f_.IsClosed(); }

void FormRunWindow::SetStatus(int row, const QString& text) {
    if (!f_.IsClosed()) f_.MSF->SetTextMatrix(row, filelist::ColStatus, text);
}

void FormRunWindow::SetProgress(const QString& text) {
    if (!f_.IsClosed()) f_.SetProgressText(text);
}

filelist::RowCells FormRunWindow::Cells(int row) const { return f_.MSF->Cells(row); }

int FormRunWindow::DataRows() const { return f_.MSF->Rows() - 1; }

HardwareState FormRunWindow::Hardware() const { return {f_.AccIndex, f_.CanAcc, f_.ChSpeed->isChecked()}; }

void FormRunWindow::Record(const result::ProbeRecord& r) {
    f_.AccIndex = r.accIndex;
    f_.CanAcc = r.canAcc;
    f_.services.settings->Set(QString::fromLatin1(settings_names::AccIndex), r.accIndexSetting);
    f_.services.settings->Set(QString::fromLatin1(settings_names::CanAcc), r.canAccSetting);
    if (r.switchSpeedOff) {
        f_.ChSpeed->setChecked(false);
        f_.ChSpeed->setEnabled(false);
    }
}
