#include "batch/OpeningClip.h"

#include "app/Form1.h"
#include "batch/RunState.h"
#include "common/NumberText.h"
#include "encoder/EncoderRun.h"
#include "filelist/FileGrid.h"
#include "platform/FileOps.h"
#include "probe/MediaProbe.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>

#include <cmath>

namespace openingclip {

namespace {

constexpr int kColWidth = 2;
constexpr int kColHeight = 3;
constexpr int kColStatus = 5;

// The parts of a cut text as numbers; the "%" signs say nothing new here.
std::optional<std::vector<double>> percentParts(const QString& text, int count) {
    const QStringList parts = QString(text).remove('%').split(',');
    if (parts.size() < count) return std::nullopt;
    std::vector<double> v;
    for (int i = 0; i < count; ++i) {
        const auto n = num::WholeTextNumber(parts[i]);
        if (!n) return std::nullopt;
        v.push_back(*n);
    }
    return v;
}

QString whole(double v) { return num::Text(num::RoundHalfEven(v, 0)); }

QString rateTail(int fps, long kbps) {
    return QString::number(fps) + QStringLiteral(" -b:v ") + QString::number(kbps);
}

}  // namespace

std::optional<ClipFiles> FilesFor(const QString& programFolder, const QString& source) {
    const QString name = fileops::NameOf(source);
    const int dot = name.lastIndexOf('.');
    if (dot < 0) return std::nullopt;
    ClipFiles f;
    f.ext = name.mid(dot);
    f.cut = programFolder + QStringLiteral("/Cut") + f.ext;
    f.headFrames = programFolder + QStringLiteral("/Temp") + f.ext;
    f.headClip = programFolder + QStringLiteral("/Head") + f.ext;
    f.list = programFolder + QStringLiteral("/List.txt");
    return f;
}

std::optional<QString> CropText(const QString& sizeCut, const QString& widthCell, const QString& heightCell) {
    const auto p = percentParts(sizeCut, 4);
    const auto W = num::WholeTextNumber(widthCell);
    const auto H = num::WholeTextNumber(heightCell);
    if (!p || !W || !H) return std::nullopt;
    const std::vector<double>& q = *p;
    return QStringLiteral(" -filter_complex crop=x=") + whole(q[0] * *W / 100) + QStringLiteral(":y=") +
           whole(q[1] * *H / 100) + QStringLiteral(":w=") + whole((100 - q[0] - q[2]) * *W / 100) +
           QStringLiteral(":h=") + whole((100 - q[1] - q[3]) * *H / 100) + QStringLiteral(" ");
}

std::optional<QString> TimeText(const QString& timeCut, double duration) {
    const auto p = percentParts(timeCut, 2);
    if (!p) return std::nullopt;
    const double d = static_cast<float>(std::isfinite(duration) ? duration : 0);
    const std::vector<double>& q = *p;
    const QString start = num::Text(num::RoundHalfEven(q[0] * d / 100, 2));
    const QString length = num::Text(num::RoundHalfEven((100 - q[0] - q[1]) * d / 100, 2));
    return QStringLiteral("-ss ") + start + QStringLiteral(" -t ") + length + QStringLiteral(" ");
}

EncoderCommand CutCommand(const QString& timeText, const QString& source, const QString& cropText, int fps,
                          long kbps, const QString& cutFile) {
    EncoderCommand cmd;
    cmd.Add(timeText + QStringLiteral(" -i "))
        .AddPath(source)
        .Add(QStringLiteral(" ") + cropText + QStringLiteral(" -y -q:v 0 -r ") + rateTail(fps, kbps) +
             QStringLiteral("k -acodec copy "))
        .AddPath(cutFile);
    return cmd;
}

EncoderCommand HeadFramesCommand(const QString& source, int fps, long kbps, const QString& headFrames) {
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-ss 0 -t 0.5 -i "))
        .AddPath(source)
        .Add(QStringLiteral(" -y -q:v 0 -r ") + rateTail(fps, kbps) + QStringLiteral("k -acodec copy "))
        .AddPath(headFrames);
    return cmd;
}

EncoderCommand HeadOverlayCommand(const QString& headFrames, const QString& cover, int fps, long kbps,
                                  const QString& headClip) {
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-i "))
        .AddPath(headFrames)
        .Add(QStringLiteral(" -i  "))
        .AddPath(cover)
        .Add(QStringLiteral(" -filter_complex overlay=0:0 -y -q:v 0  -r ") + rateTail(fps, kbps) +
             QStringLiteral("k -q:a 0 -acodec copy "))
        .AddPath(headClip);
    return cmd;
}

EncoderCommand ConcatCommand(const QString& listFile, const QString& output) {
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-safe 0 -f concat -i "))
        .AddPath(listFile)
        .Add(QStringLiteral(" -y -q:v 0 -q:a 0 -c copy "))
        .AddPath(output);
    return cmd;
}

QString ConcatQuoted(const QString& path) { return QString(path).replace('\'', QStringLiteral("'\\''")); }

QString ConcatListText(const QString& headClip, const QString& source) {
    return QStringLiteral("file '") + ConcatQuoted(headClip) + QStringLiteral("'\r\nfile '") + ConcatQuoted(source) +
           QStringLiteral("'\r\n");
}

QString CuttingStatus(const QString& sizeMb) {
    return QStringLiteral("视频画面、时间轴裁剪中...") + sizeMb + QStringLiteral("Mb");
}

QString SizeMbText(long long bytes) { return num::Text(num::RoundHalfEven(bytes / 1024.0 / 1024.0, 2)); }

QString JoiningStatus() { return QStringLiteral("生成附加片头封面视频中..."); }

QString ClipProgress(int row, int total) {
    return QStringLiteral("状态：生成附加片头封面视频中...已处理：") + QString::number(row) + QLatin1Char('/') +
           QString::number(total);
}

}  // namespace openingclip

void RunOpeningClip(Form1& form, RunState& state, const QString& source, const QString& cover,
                    const QString& output, int total, int row) {
    using namespace openingclip;
    state.LastRunOk = false;

    // Everything up to the first run must hold; otherwise no run is made and
    // the row is judged by its (already removed) output.
    int fps = 0;
    const auto kbps = probe::GetVideoFrameRateAndBitrate(source, fps);
    if (!kbps) return;
    const auto files = FilesFor(form.AppPathGlobal, source);
    if (!files) return;
    const bool cutSize = form.ChCutSize->isChecked();
    const bool cutTime = form.ChCutTime->isChecked();
    QString cropText, timeText;
    if (cutSize) {
        const auto t = CropText(form.TSizeCut->text(), form.MSF->TextMatrix(state.CurrentRow, kColWidth),
                                form.MSF->TextMatrix(state.CurrentRow, kColHeight));
        if (!t) return;
        cropText = *t;
    }
    if (cutTime) {
        const auto t = TimeText(form.TTimeCut->text(), probe::GetMediaDuration(source));
        if (!t) return;
        timeText = *t;
    }

    QString input = source;
    auto setStatus = [&](const QString& text) { form.MSF->SetTextMatrix(state.CurrentRow, kColStatus, text); };

    if (cutSize || cutTime) {
        // A cut of an earlier row must not be joined into this row's video.
        fileops::DeleteFile(files->cut);
        const EncoderRun started =
            StartEncoder(form, CutCommand(timeText, source, cropText, fps, *kbps, files->cut));
        form.SetProgressText(ClipProgress(row, total));
        input = files->cut;  // whether the cut works or not: the join shows it
        QString size;
        WaitForEncoder(form, started, CycleOrder::TestUpdateYield, [&] {
            const long long bytes = fileops::FileSize(files->cut);
            if (bytes >= 0) size = SizeMbText(bytes);
            setStatus(CuttingStatus(size));
        });
        if (form.IsClosed()) return;
    }

    fileops::DeleteFile(files->headFrames);
    RunEncoderAndWait(form, HeadFramesCommand(input, fps, *kbps, files->headFrames), CycleOrder::TestUpdateYield, {});
    if (form.IsClosed()) return;

    fileops::DeleteFile(files->headClip);
    RunEncoderAndWait(form, HeadOverlayCommand(files->headFrames, cover, fps, *kbps, files->headClip),
                      CycleOrder::TestUpdateYield, {});
    if (form.IsClosed()) return;

    // A list that cannot be written must not leave an earlier row's list
    // behind: the join would put that row's videos into this output.
    fileops::DeleteFile(files->list);
    QFile list(files->list);
    if (list.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QByteArray text = ConcatListText(files->headClip, input).toUtf8();
        const bool written = list.write(text) == text.size();
        list.close();
        if (!written || list.error() != QFileDevice::NoError) fileops::DeleteFile(files->list);
    }

    const EncoderRun joined =
        RunEncoderAndWait(form, ConcatCommand(files->list, output), CycleOrder::TestUpdateYield, [&] {
            setStatus(JoiningStatus());
            form.SetProgressText(ClipProgress(row, total));
        });
    if (form.IsClosed()) return;
    state.LastRunOk = joined.Succeeded();
    setStatus(QStringLiteral("Ok"));
}
