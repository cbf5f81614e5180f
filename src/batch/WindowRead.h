#pragma once
// The batch run's side of the window: the controls read into the run's
// options, the narrow view the row steps get, and where the encoder starts.
#include "batch/RunContext.h"

#include <optional>

class Form1;

EncodeControls EncodeControlsOf(const Form1& form);
// The window's re-encoding controls, probing `file` (the row's source video).
std::optional<QString> BuildEncodeOptions(const Form1& form, const QString& file);

RunOptions RunOptionsOf(const Form1& form);

// The program's encoder in the window's program folder, for as long as the
// window is open.
EncoderHost EncoderHostOf(Form1& form, BackgroundReaper* reaper = nullptr);

// The row steps' view of the window.
class FormRunWindow : public RunWindow {
public:
    explicit FormRunWindow(Form1& form) : f_(form) {}
    bool Closed() const override;
    void SetStatus(int row, const QString& text) override;
    void SetProgress(const QString& text) override;
    filelist::RowCells Cells(int row) const override;
    int DataRows() const override;
    HardwareState Hardware() const override;
    void Record(const result::ProbeRecord& record) override;

private:
    Form1& f_;
};
