#pragma once
// The processing modes and the mode switch run on every selection in CmbType.
#include "options/ProcessingMode.h"

#include <QObject>

class Form1;
class FileGrid;

class ModeSwitch : public QObject {
    Q_OBJECT
public:
    explicit ModeSwitch(Form1& form);
    void CmbType_Click();

    // The header texts of the mode's file and partner columns; modes 3 and 4
    // take only videos, whatever ChMp3 says. Mode 4 has none of its own.
    static void ShowFileHeaders(FileGrid& grid, int mode, bool mp3);

private:
    Form1& f_;
};
