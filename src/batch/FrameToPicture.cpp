#include "batch/FrameToPicture.h"

#include "app/Form1.h"
#include "batch/RunState.h"
#include "common/NumberText.h"
#include "filelist/FileGrid.h"
#include "platform/Shell.h"
#include "probe/MediaProbe.h"

#include <QThread>

#include <algorithm>
#include <cmath>

namespace framepicture {

namespace {

constexpr int kColFileName = 0;
constexpr int kColFolder = 1;
constexpr int kColPartnerFile = 4;
constexpr int kColStatus = 5;

const char* const kSlotsName = "frameStartSlots";

}  // namespace

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

EncoderCommand FrameToPictureCommand(const QString& frameTime, const QString& video, const QString& picture) {
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-ss ") + frameTime + QStringLiteral(" -i "))
        .AddPath(video)
        .Add(QStringLiteral("  -vframes 1 -f image2   -q:v 0 -y "))
        .AddPath(picture);
    return cmd;
}

int CoreCount() { return std::max(1, QThread::idealThreadCount()); }

StartSlots::StartSlots(const EncoderHost& host, int limit, QObject* parent)
    : QObject(parent), host_(host), limit_(limit < 1 ? 1 : limit) {
    setObjectName(QString::fromLatin1(kSlotsName));
}

StartSlots& StartSlots::For(Form1& form) {
    if (auto* s = form.findChild<StartSlots*>(QString::fromLatin1(kSlotsName), Qt::FindDirectChildrenOnly))
        return *s;
    return *new StartSlots(EncoderHost::Of(form), CoreCount(), &form);
}

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

void StartSlots::Started(const EncoderRun& run) {
    if (run.Started() && run.pid > 0) running_.push_back(run.pid);
}

}  // namespace framepicture

void GrabRandomFramePicture(Form1& form, RunState& state) {
    using namespace framepicture;
    const int row = state.CurrentRow;
    const QString video = form.MSF->TextMatrix(row, kColPartnerFile);
    const QString picture = form.MSF->TextMatrix(row, kColFolder) + QLatin1Char('/') +
                            form.MSF->TextMatrix(row, kColFileName);
    const QString time = FrameTime(ProgramRandom().Next(), probe::GetMediaDuration(video));

    // No more encoders at once than cores: many rows would otherwise start
    // as many processes side by side.
    StartSlots& starter = StartSlots::For(form);
    if (!starter.Acquire()) return;
    starter.Started(StartEncoder(form, FrameToPictureCommand(time, video, picture)));
    form.MSF->SetTextMatrix(row, kColStatus, QStringLiteral("OK!"));
}
