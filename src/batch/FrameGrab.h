#pragma once
// Mode 3: a frame of each video, taken at the chosen moment, as its cover.
#include "encoder/EncoderCommand.h"

#include <QString>

namespace framegrab {

// What decides the moment of the frame.
struct SeekInputs {
    bool delRecover = false;  // ChDelRecover: the first frame
    bool asHead = false;      // ChAsHead: the frame at 0.5 s
    bool percent = false;     // ChPercent: TPos is a percentage of the duration
    QString position;         // TPos as typed
};

// The moment as it goes into the command, first rule that applies:
//   first frame "0"; opening clip "0.5";
//   percent: position x duration / 100, 3 decimals ("0" in front below 1);
//   a position beyond the duration: 95 % of it, 3 decimals ("0" in front
//   below 1); otherwise the position exactly as typed (a text with anything
//   but digits and "." is written as its leading number instead).
// A percentage that is not a number counts as 0; so does a duration that is
// not a finite positive number.
QString SeekTime(const SeekInputs& in, double duration);

// -i "<source>" -y -ss <seek> -vframes 1 -f image2  -y "<picture>"
EncoderCommand FrameAsCoverCommand(const QString& source, const QString& seekTime, const QString& picture);

// Status texts of the wait.
QString GrabbingStatus();
QString GrabbingProgress(int row, const QString& lastRow);

}  // namespace framegrab
