#include "batch/FrameToPicture.h"

#include "batch/RowTexts.h"
#include "batch/RunContext.h"
#include "batch/RunState.h"
#include "common/NumberText.h"
#include "platform/Shell.h"
#include "probe/MediaProbe.h"

#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace framepicture {

float FrameRandom::Next() {
    // The top 24 bits make every value exact in single precision and below 1.
    return static_cast<float>(engine_() >> 8) * (1.0f / 16777216.0f);
}

FrameRandom& ProgramRandom() {
    static FrameRandom random;
    return random;
}

QString FrameTime(float r, double duration) {
    double d = std::isfinite(duration) && duration > 0 ? duration : 0;
    if (d > 10) d = 10;
    return num::ZeroPrefixed(num::Text(num::RoundHalfEven(static_cast<double>(r) * d, 3)));
}

double FrameSpan(double duration, int frameRate) {
    const double d = std::isfinite(duration) && duration > 0 ? duration : 0;
    // The probed rate is rounded to whole frames, so the true one may be up
    // to half a frame lower and its frames that much longer.
    const double lastFrame = d - (frameRate >= 1 ? 1.0 / (frameRate - 0.5) : kUnknownRateMargin);
    // Rounding to 3 decimals adds at most half a millisecond.
    const double span = std::min(10.0, lastFrame - 0.0005);
    return span > 0 ? span : 0;
}

PictureMark MarkPicture(const QString& picture) {
    const QFileInfo info(picture);
    if (!info.exists()) return {};
    return {true, info.size(), info.lastModified()};
}

bool PictureWritten(const QString& picture, const PictureMark& before, const EncoderRun& ended) {
    if (!ended.Succeeded()) return false;
    const PictureMark now = MarkPicture(picture);
    if (!now.existed || now.size <= 0) return false;
    // An encoder that found no frame leaves an earlier picture untouched.
    return !before.existed || now.size != before.size || now.modified != before.modified;
}

void FailPictureRows(RunWindow& window, const QString& video, const QString& picture) {
    for (int row = 1; row <= window.DataRows(); ++row) {
        const filelist::RowCells cells = window.Cells(row);
        if (cells.status == rowtext::StatusFrameStarted && cells.partnerFile == video && cells.Path() == picture)
            window.SetStatus(row, rowtext::StatusFailed);
    }
}

EncoderCommand FrameToPictureCommand(const QString& frameTime, const QString& video, const QString& picture) {
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-ss ") + frameTime + QStringLiteral(" -i "))
        .AddPath(video)
        .Add(QStringLiteral("  -vframes 1 -f image2   -q:v 0 -y "))
        .AddPath(picture);
    return cmd;
}

int CoreCount() { return std::max(1, QThread::idealThreadCount()); }

StartSlots::StartSlots(const EncoderHost& host, int limit) : host_(host), limit_(limit < 1 ? 1 : limit) {}

int StartSlots::Busy() {
    if (!host_.shell) return 0;
    running_.erase(std::remove_if(running_.begin(), running_.end(),
                                  [&](long long pid) { return host_.shell->ExitStatus(pid).has_value(); }),
                   running_.end());
    return static_cast<int>(running_.size());
}

bool StartSlots::Acquire() {
    while (Busy() >= limit_) {
        if (host_.Closed()) return false;
        YieldToWindow();
        if (onWait) onWait();
    }
    return !host_.Closed();
}

void StartSlots::Started(const EncoderRun& run, const QString& picture) {
    if (!run.Started()) return;
    if (run.pid > 0) running_.push_back(run.pid);
    if (!picture.isEmpty()) latest_[picture] = run.pid;
}

bool StartSlots::TakeLatest(const QString& picture, long long pid) {
    const auto it = latest_.find(picture);
    if (it == latest_.end() || it->second != pid) return false;
    latest_.erase(it);
    return true;
}

}  // namespace framepicture

void GrabRandomFramePicture(const RunContext& run, RunState& state) {
    using namespace framepicture;
    const int row = state.CurrentRow;
    const filelist::RowCells cells = run.window->Cells(row);
    const QString video = cells.partnerFile;
    const QString picture = cells.Path();
    const float r = ProgramRandom().Next();
    int frameRate = 0;
    probe::GetVideoFrameRateAndBitrate(video, frameRate);
    const QString time = FrameTime(r, FrameSpan(probe::GetVideoDuration(video), frameRate));

    // No more encoders at once than cores: many rows would otherwise start
    // as many processes side by side.
    StartSlots& starter = *run.startSlots;
    if (!starter.Acquire()) return;
    const PictureMark before = MarkPicture(picture);
    RunWindow* window = run.window;
    StartSlots* starts = run.startSlots;
    const EncoderRun encoder =
        StartEncoder(run.host, FrameToPictureCommand(time, video, picture), [=](const EncoderRun& ended) {
            if (window->Closed()) return;
            if (!starts->TakeLatest(picture, ended.pid)) return;
            if (!PictureWritten(picture, before, ended)) FailPictureRows(*window, video, picture);
        });
    starter.Started(encoder, picture);
    run.window->SetStatus(row, encoder.Started() ? rowtext::StatusFrameStarted : rowtext::StatusFailed);
}
