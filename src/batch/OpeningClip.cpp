#include "batch/OpeningClip.h"

#include "batch/RunContext.h"
#include "batch/RunState.h"
#include "common/ProgramFiles.h"
#include "common/NumberText.h"
#include "encoder/EncoderRun.h"
#include "platform/FileOps.h"
#include "platform/OwnFiles.h"
#include "probe/FileStructure.h"
#include "probe/MediaProbe.h"

#include <QFile>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace openingclip {

namespace {


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

int whole(double v) { return static_cast<int>(num::RoundHalfEven(v, 0)); }

QString rateTail(const QString& rate, long kbps) { return rate + QStringLiteral(" -b:v ") + QString::number(kbps); }

std::optional<long long> positive(const QString& text) {
    bool ok = false;
    const long long v = text.toLongLong(&ok);
    return ok && v > 0 ? std::optional<long long>(v) : std::nullopt;
}

QString fraction(long long num, long long den) {
    const long long g = std::gcd(num, den);
    num /= g;
    den /= g;
    return den == 1 ? QString::number(num) : QString::number(num) + QLatin1Char('/') + QString::number(den);
}

// libx264's names for the library's H.264 profiles.
std::optional<QString> x264Profile(const QString& name) {
    static const std::pair<const char*, const char*> names[] = {
        {"Baseline", "baseline"}, {"Constrained Baseline", "baseline"}, {"Main", "main"},
        {"High", "high"},         {"High 10", "high10"},                {"High 4:2:2", "high422"},
        {"High 4:4:4 Predictive", "high444"},
    };
    for (const auto& n : names)
        if (name == QLatin1String(n.first)) return QString::fromLatin1(n.second);
    return std::nullopt;
}

// The encoder's pixel format for the library's colour facts; nothing for
// layouts the encoder cannot write (RGB, 4:1:1, 12 bits in H.264, ...).
std::optional<QString> pixelFormat(const probe::VideoCoding& v, bool hevc) {
    const int depth = v.bitDepth.isEmpty() ? 8 : v.bitDepth.toInt();
    if (depth != 8 && depth != 10 && !(hevc && depth == 12)) return std::nullopt;
    const QString bits = depth == 8 ? QString() : QString::number(depth) + QStringLiteral("le");
    if (v.colorSpace == QLatin1String("Y")) return QStringLiteral("gray") + bits;
    if (v.colorSpace != QLatin1String("YUV")) return std::nullopt;
    QString layout;
    if (v.chromaSubsampling == QLatin1String("4:2:0")) layout = QStringLiteral("420");
    else if (v.chromaSubsampling == QLatin1String("4:2:2")) layout = QStringLiteral("422");
    else if (v.chromaSubsampling == QLatin1String("4:4:4")) layout = QStringLiteral("444");
    else return std::nullopt;
    // Full-range 8-bit pictures decode as the "j" formats; anything else
    // would be converted to limited range on the way.
    const bool full = depth == 8 && v.colourRange == QLatin1String("Full");
    return (full ? QStringLiteral("yuvj") : QStringLiteral("yuv")) + layout + QStringLiteral("p") + bits;
}

// The encoder's name for where chroma samples sit; decoders assume "left"
// for 4:2:0 when a stream says nothing, so saying nothing is said outright.
QString chromaLocation(const QString& position) {
    static const char* const names[] = {"left", "center", "topleft", "top", "bottomleft", "bottom"};
    if (position.startsWith(QLatin1String("Type "))) {
        bool ok = false;
        const int type = position.mid(5).toInt(&ok);
        if (ok && type >= 0 && type < 6) return QString::fromLatin1(names[type]);
    }
    return QStringLiteral("unspecified");
}

}  // namespace

std::optional<ClipFiles> FilesFor(const QString& programFolder, const QString& source) {
    const QString name = fileops::NameOf(source);
    const int dot = name.lastIndexOf('.');
    if (dot < 0) return std::nullopt;
    ClipFiles f;
    f.ext = name.mid(dot);
    f.cut = workfiles::In(programFolder, workfiles::Cut) + f.ext;
    f.headFrames = workfiles::In(programFolder, workfiles::HeadFrames) + f.ext;
    f.headClip = workfiles::In(programFolder, workfiles::HeadClip) + f.ext;
    f.film = workfiles::In(programFolder, workfiles::ClipFilm) + f.ext;
    f.list = workfiles::In(programFolder, workfiles::ConcatList);
    return f;
}

std::optional<CropBox> CropBoxFor(const QString& sizeCut, const QString& widthCell, const QString& heightCell) {
    const auto p = percentParts(sizeCut, 4);
    const auto W = num::WholeTextNumber(widthCell);
    const auto H = num::WholeTextNumber(heightCell);
    if (!p || !W || !H) return std::nullopt;
    const std::vector<double>& q = *p;
    return CropBox{whole(q[0] * *W / 100), whole(q[1] * *H / 100), whole((100 - q[0] - q[2]) * *W / 100),
                   whole((100 - q[1] - q[3]) * *H / 100)};
}

namespace {

QString cropFilter(const CropBox& b) {
    return QStringLiteral("crop=x=%1:y=%2:w=%3:h=%4").arg(b.x).arg(b.y).arg(b.width).arg(b.height);
}

}  // namespace

QString CropText(const CropBox& box) {
    return QStringLiteral(" -filter_complex ") + cropFilter(box) + QStringLiteral(" ");
}

std::optional<QString> CropText(const QString& sizeCut, const QString& widthCell, const QString& heightCell) {
    const auto box = CropBoxFor(sizeCut, widthCell, heightCell);
    if (!box) return std::nullopt;
    return CropText(*box);
}

std::optional<Trim> TrimFor(const QString& timeCut, double duration) {
    const auto p = percentParts(timeCut, 2);
    if (!p) return std::nullopt;
    const double d = static_cast<float>(std::isfinite(duration) ? duration : 0);
    const std::vector<double>& q = *p;
    return Trim{num::RoundHalfEven(q[0] * d / 100, 2), num::RoundHalfEven((100 - q[0] - q[1]) * d / 100, 2)};
}

QString TimeText(const Trim& t) {
    return QStringLiteral("-ss ") + num::Text(t.start) + QStringLiteral(" -t ") + num::Text(t.length) +
           QStringLiteral(" ");
}

std::optional<QString> TimeText(const QString& timeCut, double duration) {
    const auto t = TrimFor(timeCut, duration);
    if (!t) return std::nullopt;
    return TimeText(*t);
}

std::optional<QString> ExactRate(const probe::VideoCoding& v) {
    const auto num = positive(v.frameRateNum);
    const auto den = positive(v.frameRateDen);
    if (num && den) return fraction(*num, *den);
    bool ok = false;
    const double rate = v.frameRate.toDouble(&ok);
    if (!ok || !(rate > 0) || rate > 1000) return std::nullopt;
    // The NTSC family (23.976, 29.97, 59.94) is written with three decimals.
    const long long ntsc = std::llround(rate * 1.001);
    if (std::fabs(rate - ntsc * 1000.0 / 1001.0) < 0.0005 && std::fabs(rate - ntsc) > 0.0005)
        return fraction(ntsc * 1000, 1001);
    return fraction(std::llround(rate * 1000), 1000);
}

std::optional<HeadCoding> HeadCodingFor(const Body& body) {
    const probe::StreamFacts& s = body.streams;
    if (!s.opened || s.video != 1 || s.audio > 1 || s.text > 0) return std::nullopt;
    const probe::VideoCoding& v = body.video;
    const bool hevc = v.format == QLatin1String("HEVC");
    if (!v.found || (!hevc && v.format != QLatin1String("AVC"))) return std::nullopt;
    // Turned pictures would need the head turned back and the turn written
    // into it again.
    if (std::fabs(v.rotation.toDouble()) > 0.01) return std::nullopt;

    HeadCoding h;
    const auto rate = ExactRate(v);
    const auto width = positive(v.width);
    const auto height = positive(v.height);
    const auto pixels = pixelFormat(v, hevc);
    if (!rate || !width || !height || !pixels) return std::nullopt;
    h.rate = *rate;
    h.width = static_cast<int>(*width);
    h.height = static_cast<int>(*height);

    // "High@L4.1", "Main 10@L5.1@Main": profile, level, tier.
    const QStringList parts = v.profile.split('@');
    const QString level = parts.size() > 1 && parts[1].startsWith('L') ? parts[1].mid(1) : QString();
    QString args;
    const bool mp4 = body.mechanism == container::Mechanism::Mp4 || body.mechanism == container::Mechanism::QuickTime;
    if (hevc) {
        // x265 takes the profile from the pixel format; its parameter sets
        // go in front of every key frame, as the film's will.
        QStringList params;
        if (!level.isEmpty()) params << QStringLiteral("level-idc=") + level;
        if (parts.size() > 2) params << QStringLiteral("high-tier=") + (parts[2] == QLatin1String("High") ? "1" : "0");
        params << QStringLiteral("repeat-headers=1");
        args = QStringLiteral(" -c:v libx265 -x265-params ") + params.join(':');
        h.filmCopy = true;
    } else {
        const auto profile = x264Profile(parts.value(0));
        if (!profile) return std::nullopt;
        args = QStringLiteral(" -c:v libx264 -profile:v ") + *profile;
        if (!level.isEmpty()) args += QStringLiteral(" -level ") + level;
    }
    args += QStringLiteral(" -pix_fmt ") + *pixels + QStringLiteral(" -chroma_sample_location ") +
            chromaLocation(v.chromaPosition);

    if (mp4) {
        h.joinTag = hevc ? QStringLiteral(" -tag:v hev1") : QStringLiteral(" -tag:v avc3");
        if (hevc) args += h.joinTag;
        // The join reads the body's ticks in the head's time base.
        if (body.timescale <= 0) return std::nullopt;
        args += QStringLiteral(" -video_track_timescale ") + QString::number(body.timescale);
    }
    h.videoArgs = args;
    return h;
}

QString CoverFilter(const std::optional<CropBox>& crop, int width, int height) {
    const QString cut = crop ? cropFilter(*crop) + QLatin1Char(',') : QString();
    return QStringLiteral("[1:v]") + cut + QStringLiteral("scale=%1:%2[c];[0:v][c]overlay=0:0").arg(width).arg(height);
}

EncoderCommand CutCommand(const QString& timeText, const QString& source, const QString& cropText,
                          const QString& rate, long kbps, const QString& cutFile) {
    EncoderCommand cmd;
    cmd.Add(timeText + QStringLiteral(" -i "))
        .AddPath(source)
        .Add(QStringLiteral(" ") + cropText + QStringLiteral(" -y -q:v 0 -r ") + rateTail(rate, kbps) +
             QStringLiteral("k -acodec copy "))
        .AddPath(cutFile);
    return cmd;
}

EncoderCommand FilmCopyCommand(const QString& film, const HeadCoding& head, const QString& filmCopy) {
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-i "))
        .AddPath(film)
        .Add(QStringLiteral(" -y -c copy -bsf:v hevc_mp4toannexb") + head.joinTag + QStringLiteral(" "))
        .AddPath(filmCopy);
    return cmd;
}

EncoderCommand HeadFramesCommand(const QString& source, const HeadCoding& head, long kbps,
                                 const QString& headFrames) {
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-ss 0 -t 0.5 -i "))
        .AddPath(source)
        .Add(QStringLiteral(" -y -q:v 0 -r ") + rateTail(head.rate, kbps) + QStringLiteral("k") + head.videoArgs +
             QStringLiteral(" -acodec copy "))
        .AddPath(headFrames);
    return cmd;
}

EncoderCommand HeadOverlayCommand(const QString& headFrames, const QString& cover, const QString& coverFilter,
                                  const HeadCoding& head, long kbps, double headLength, const QString& headClip) {
    // A sound packet that ends after the head would run into the film's; the
    // microsecond spares one that ends exactly there from rounding.
    const QString end = QString::number(headLength + 1e-6, 'f', 6);
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-i "))
        .AddPath(headFrames)
        .Add(QStringLiteral(" -i  "))
        .AddPath(cover)
        .Add(QStringLiteral(" -filter_complex ") + coverFilter + QStringLiteral(" -y -q:v 0  -r ") +
             rateTail(head.rate, kbps) + QStringLiteral("k") + head.videoArgs +
             QStringLiteral(" -q:a 0 -acodec copy -bsf:a noise=drop=gt((pts+duration)*tb\\,") + end +
             QStringLiteral(") "))
        .AddPath(headClip);
    return cmd;
}

EncoderCommand ConcatCommand(const QString& listFile, const HeadCoding& head, const QString& output) {
    EncoderCommand cmd;
    cmd.Add(QStringLiteral("-safe 0 -f concat -i "))
        .AddPath(listFile)
        .Add(QStringLiteral(" -y -q:v 0 -q:a 0 -c copy") + head.joinTag + QStringLiteral(" "))
        .AddPath(output);
    return cmd;
}

double FramePeriod(const QString& rate) {
    const QStringList p = rate.split('/');
    const double num = p.value(0).toDouble();
    const double den = p.size() > 1 ? p[1].toDouble() : 1;
    return num > 0 && den > 0 ? den / num : 0;
}

std::optional<double> HeadLength(const probe::FrameTimes& headFrames, const QString& rate,
                                 const probe::FrameTimes& film) {
    const double period = FramePeriod(rate);
    if (!headFrames.read || !film.read || headFrames.shown.empty() || !(period > 0)) return std::nullopt;
    const auto [first, last] = std::minmax_element(headFrames.shown.begin(), headFrames.shown.end());
    // The head's pictures end one frame after its last, counted from its
    // earliest stream; the film's first picture comes its own lead later
    // than the film's start.
    const double length = headFrames.videoLead + (*last - *first) + period - film.videoLead;
    if (!(length > 0)) return std::nullopt;
    return length;
}

readback::Expectation JoinExpectation(const probe::StreamFacts& source, const probe::StreamFacts& body,
                                      double trimLength) {
    readback::Expectation e;
    e.covers = 0;
    e.joined = true;
    e.trimmed = trimLength > 0;
    const double length = e.trimmed ? trimLength : source.duration;
    // A body that cannot be read, or a length nobody states, leaves nothing
    // the output could be held to: the row cannot pass.
    if (body.opened && length > 0) e.duration = length + HeadSeconds;
    if (!body.videoDurations.empty() && !body.audioDurations.empty())
        e.bodyVideoLead = *std::max_element(body.videoDurations.begin(), body.videoDurations.end()) -
                          *std::max_element(body.audioDurations.begin(), body.audioDurations.end());
    return e;
}

readback::Expectation JoinExpectation(const probe::StreamFacts& source, const QString& body,
                                      container::Mechanism mechanism, double trimLength) {
    readback::Expectation e = JoinExpectation(source, probe::ReadStreamFacts(body), trimLength);
    e.framesChecked = true;
    const probe::FrameTimes frames = readback::ReadFrameTimes(body, mechanism);
    const std::vector<double> spacing = probe::FrameSpacing(frames);
    const auto rate = ExactRate(probe::ReadVideoCoding(body));
    const double period = rate ? FramePeriod(*rate) : 0;
    if (!spacing.empty() && period > 0) {
        // The head's pictures follow one another, and the film's first the
        // head's last, by one frame at the rate.
        const auto [shortest, longest] = std::minmax_element(spacing.begin(), spacing.end());
        e.shortestFrame = std::min(*shortest, period);
        e.longestFrame = std::max(*longest, period);
        e.frameTick = frames.tick;
    }
    return e;
}

QString ConcatQuoted(const QString& path) { return QString(path).replace('\'', QStringLiteral("'\\''")); }

QString ConcatListText(const QString& headClip, double headLength, const QString& film) {
    return QStringLiteral("file '") + ConcatQuoted(headClip) + QStringLiteral("'\r\nduration ") +
           QString::number(headLength, 'f', 6) + QStringLiteral("\r\nfile '") + ConcatQuoted(film) +
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

namespace {

probe::VideoTrack trackOf(const QString& path, container::Mechanism mechanism) {
    switch (mechanism) {
    case container::Mechanism::Mp4:
    case container::Mechanism::QuickTime:
        return probe::ReadMp4Layout(path).video;
    case container::Mechanism::Matroska:
        return probe::ReadMatroskaLayout(path).video;
    default:
        return {};
    }
}

openingclip::Body bodyOf(const QString& path, container::Mechanism mechanism) {
    openingclip::Body body;
    body.video = probe::ReadVideoCoding(path);
    body.streams = probe::ReadStreamFacts(path);
    body.mechanism = mechanism;
    body.timescale = trackOf(path, mechanism).timescale;
    return body;
}

}  // namespace

void RunOpeningClip(const RunContext& run, RunState& state, const QString& source, const QString& cover,
                    const QString& output, int total, int row) {
    using namespace openingclip;
    state.LastRunOk = false;
    state.ClipBody.clear();
    state.ClipTrimLength = 0;

    // Everything up to the first run must hold; otherwise no run is made and
    // the row is judged by its (already removed) output.
    int fps = 0;
    const auto kbps = probe::GetVideoFrameRateAndBitrate(source, fps);
    if (!kbps) return;
    const auto files = FilesFor(run.options.programFolder, source);
    if (!files) return;
    const container::Mechanism mechanism = container::MechanismFor(source);
    const bool cutSize = run.options.cutSize;
    const bool cutTime = run.options.cutTime;
    std::optional<CropBox> crop;
    std::optional<Trim> trim;
    if (cutSize) {
        const filelist::RowCells cells = run.window->Cells(state.CurrentRow);
        crop = CropBoxFor(run.options.sizeCut, cells.width, cells.height);
        if (!crop) return;
    }
    if (cutTime) {
        trim = TrimFor(run.options.timeCut, probe::GetMediaDuration(source));
        if (!trim) return;
    }

    QString input = source;
    auto setStatus = [&](const QString& text) { run.window->SetStatus(state.CurrentRow, text); };

    if (cutSize || cutTime) {
        const auto rate = ExactRate(probe::ReadVideoCoding(source));
        if (!rate) return;
        // A cut of an earlier row must not be joined into this row's video;
        // a user's file of that name is never written.
        if (!ownfiles::Fresh(files->cut)) return;
        const EncoderRun started = StartEncoder(
            run.host, CutCommand(trim ? TimeText(*trim) : QString(), source, crop ? CropText(*crop) : QString(), *rate,
                             *kbps, files->cut));
        run.window->SetProgress(ClipProgress(row, total));
        input = files->cut;  // whether the cut works or not: the join shows it
        QString size;
        WaitForEncoder(run.host, started, CycleOrder::TestUpdateYield, [&] {
            // The cut is there, empty, before the encoder writes a byte.
            const long long bytes = fileops::FileSize(files->cut);
            if (bytes > 0) size = SizeMbText(bytes);
            setStatus(CuttingStatus(size));
        });
        if (run.window->Closed()) return;
    }
    state.ClipBody = input;
    if (trim) state.ClipTrimLength = trim->length;

    // A body whose coding the encoder cannot repeat gets no head at all.
    const auto head = HeadCodingFor(bodyOf(input, mechanism));
    if (!head) return;

    QString film = input;
    if (head->filmCopy) {
        if (!ownfiles::Fresh(files->film)) return;
        RunEncoderAndWait(run.host, FilmCopyCommand(input, *head, files->film), CycleOrder::TestUpdateYield, {});
        if (run.window->Closed()) return;
        film = files->film;
    }

    if (!ownfiles::Fresh(files->headFrames)) return;
    RunEncoderAndWait(run.host, HeadFramesCommand(input, *head, *kbps, files->headFrames), CycleOrder::TestUpdateYield,
                      {});
    if (run.window->Closed()) return;
    // Without the head frames' and the film's times the join could not be
    // made seamless: the row fails.
    const auto length = HeadLength(readback::ReadFrameTimes(files->headFrames, mechanism), head->rate,
                                   readback::ReadFrameTimes(film, mechanism));
    if (!length) return;

    if (!ownfiles::Fresh(files->headClip)) return;
    RunEncoderAndWait(run.host,
                      HeadOverlayCommand(files->headFrames, cover, CoverFilter(crop, head->width, head->height),
                                         *head, *kbps, *length, files->headClip),
                      CycleOrder::TestUpdateYield, {});
    if (run.window->Closed()) return;

    // A list that cannot be written must not leave an earlier row's list
    // behind: the join would put that row's videos into this output.
    if (!ownfiles::Fresh(files->list)) return;
    QFile list(files->list);
    if (list.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QByteArray text = ConcatListText(files->headClip, *length, film).toUtf8();
        const bool written = list.write(text) == text.size();
        list.close();
        if (!written || list.error() != QFileDevice::NoError) ownfiles::Free(files->list);
    }

    const EncoderRun joined =
        RunEncoderAndWait(run.host, ConcatCommand(files->list, *head, output), CycleOrder::TestUpdateYield, [&] {
            setStatus(JoiningStatus());
            run.window->SetProgress(ClipProgress(row, total));
        });
    if (run.window->Closed()) return;
    state.LastRunOk = joined.Succeeded();
    setStatus(QStringLiteral("Ok"));
}
