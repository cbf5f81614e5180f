#pragma once
// The processing modes and the mode switch run on every selection in CmbType.
#include <QObject>

class Form1;

enum ProcessingModeValue {
    SeriesFromOneVideo = 0,
    OneCoverPerVideo = 1,
    OneCoverForAllVideos = 2,
    FrameAsCover = 3,
    FrameToPicture = 4,
};

class ModeSwitch : public QObject {
    Q_OBJECT
public:
    explicit ModeSwitch(Form1& form);
    void CmbType_Click();

private:
    Form1& f_;
};
