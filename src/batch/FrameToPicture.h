#pragma once
// Mode 4: a random frame of the first ten seconds of each video, written as a
// JPEG beside it. The encoder is started for the row and not waited for; its
// end is judged when the background reaping sees it.
#include "encoder/EncoderCommand.h"
#include "encoder/EncoderRun.h"

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <vector>

class RunWindow;
struct RunContext;
struct RunState;

namespace framepicture {

// Numbers r with 0 <= r < 1 in single precision. Seeded once with a fixed
// value, so every program start draws the same sequence.
class FrameRandom {
public:
    static constexpr std::uint32_t kSeed = 20240607;
    FrameRandom() : engine_(kSeed) {}
    float Next();

private:
    std::mt19937 engine_;  // fully specified by the standard: the same on every machine
};
// The program's one generator; its sequence runs on from run to run.
FrameRandom& ProgramRandom();

// r x min(duration, 10), 3 decimals, "0" in front below 1 (0 -> "00").
// A duration that is not a finite positive number counts as 0.
QString FrameTime(float r, double duration);

// The seconds the moment is drawn from, so that it lands on a frame: at most
// 10, and below the start of the last frame (duration less one frame at the
// probed whole frames per second, or less kUnknownRateMargin when the rate is
// 0 or less), far enough below that FrameTime's rounding cannot reach it.
// 0 when the video is no longer than that.
constexpr double kUnknownRateMargin = 0.1;
double FrameSpan(double duration, int frameRate);

// What lay at a picture's place before its encoder started.
struct PictureMark {
    bool existed = false;
    qint64 size = 0;
    QDateTime modified;
};
PictureMark MarkPicture(const QString& picture);
// Whether an encoder's end left its picture written: exit status 0 and a
// picture that is not empty and not the one that lay there before the start.
bool PictureWritten(const QString& picture, const PictureMark& before, const EncoderRun& ended);

// "更换失败" into every row that still shows "OK!" for this video and picture.
void FailPictureRows(RunWindow& window, const QString& video, const QString& picture);

// -ss <time> -i "<video>"  -vframes 1 -f image2   -q:v 0 -y "<picture>"
EncoderCommand FrameToPictureCommand(const QString& frameTime, const QString& video, const QString& picture);

// Keeps the number of encoders this program has started, and not yet seen
// ending, at most `limit`: Acquire waits (yielding to the window) while all
// are busy. The batch run keeps one from run to run: encoders of an earlier
// run may still be at work.
class StartSlots {
public:
    StartSlots(const EncoderHost& host, int limit);

    // Waits for a free slot; false when the window went away meanwhile.
    bool Acquire();
    // Records a start; with a picture, as the latest encoder of that picture.
    void Started(const EncoderRun& run, const QString& picture = {});
    // True once for the latest encoder of the picture: only its end judges
    // the row, not that of an earlier run's encoder writing the same file.
    bool TakeLatest(const QString& picture, long long pid);
    // Encoders started through here that have not been seen ending.
    int Busy();
    int Limit() const { return limit_; }
    void SetLimit(int limit) { limit_ = limit < 1 ? 1 : limit; }
    // Called on each pass of a wait for a slot (tests watch it).
    std::function<void()> onWait;

private:
    EncoderHost host_;
    int limit_;
    std::vector<long long> running_;
    std::map<QString, long long> latest_;
};

// The machine's cores, at least 1.
int CoreCount();

}  // namespace framepicture

// The row step of mode 4: computes the time, starts the encoder (waiting only
// for a free slot) and writes "OK!" into the row, or "更换失败" when the
// encoder cannot start. When the encoder ends without having written the
// picture, the row found by its picture then becomes "更换失败".
void GrabRandomFramePicture(const RunContext& run, RunState& state);
