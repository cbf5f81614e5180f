#include "probe/MediaProbe.h"

#include "probe/MediaInfoLibrary.h"
#include "probe/ReportReading.h"

#include <QFileInfo>

#include <utility>

namespace probe {

namespace {

// Only regular files (or links to one) reach the library: it would also take
// a web address or a folder and go reading the network or a whole tree.
QString normalReport(const MediaInfoApi& api, const QString& file) {
    const QFileInfo info(file);
    if (!info.isFile()) return {};
    return FetchReport(api, info.absoluteFilePath(), ReportKind::Normal);
}

}  // namespace

std::optional<long> GetVideoSizeAndBitrate(const MediaInfoApi& api, const QString& file, QString& width,
                                           QString& height) {
    // Nothing of an earlier file may pass for this one's.
    width.clear();
    height.clear();
    const QString report = normalReport(api, file);
    const VideoSize size = ReadVideoSize(report);
    if (!size.width) return std::nullopt;
    width = *size.width;
    if (!size.height) return std::nullopt;
    height = *size.height;
    return ReadBitRate(report);
}

std::optional<long> GetVideoFrameRateAndBitrate(const MediaInfoApi& api, const QString& file, int& frameRate) {
    const QString report = normalReport(api, file);
    const auto fps = ReadFrameRate(report);
    if (!fps) return std::nullopt;
    frameRate = *fps;  // stays written when the size labels are missing
    const VideoSize size = ReadVideoSize(report);
    if (!size.width || !size.height) return std::nullopt;
    return ReadBitRate(report);
}

double GetMediaDuration(const MediaInfoApi& api, const QString& file) {
    const QFileInfo info(file);
    if (!info.isFile() || info.fileName().startsWith('.')) return 0;  // hidden files count as missing
    return ReadDuration(FetchReport(api, info.absoluteFilePath(), ReportKind::Complete));
}

double GetVideoDuration(const MediaInfoApi& api, const QString& file) {
    const QFileInfo info(file);
    if (!info.isFile() || info.fileName().startsWith('.')) return 0;  // as the file's duration
    const StreamFacts facts = ReadStreamFacts(api, file);
    if (!facts.videoDurations.empty() && facts.videoDurations.front() > 0) return facts.videoDurations.front();
    return GetMediaDuration(api, file);
}

StreamFacts ReadStreamFacts(const MediaInfoApi& api, const QString& file) {
    StreamFacts f;
    const QFileInfo info(file);
    if (!info.isFile()) return f;
    const QString duration = QStringLiteral("Duration");
    const Fields got = FetchFields(api, info.absoluteFilePath(), {{0, duration}, {1, duration}, {2, duration}});
    if (!got.opened) return f;
    f.opened = true;
    f.video = got.counts[1];
    f.audio = got.counts[2];
    f.text = got.counts[3];
    // Milliseconds, plain or with decimals.
    const auto seconds = [](const QString& ms) { return ms.trimmed().toDouble() / 1000.0; };
    if (!got.values[0].empty()) f.duration = seconds(got.values[0][0]);
    for (const QString& v : got.values[1]) f.videoDurations.push_back(seconds(v));
    for (const QString& v : got.values[2]) f.audioDurations.push_back(seconds(v));
    return f;
}

StreamFacts ReadStreamFacts(const QString& file) { return ReadStreamFacts(SystemMediaInfo(), file); }

VideoCoding ReadVideoCoding(const MediaInfoApi& api, const QString& file) {
    VideoCoding c;
    const QFileInfo info(file);
    if (!info.isFile()) return c;
    const std::pair<const char*, QString*> fields[] = {
        {"Format", &c.format},
        {"Format_Profile", &c.profile},
        {"CodecID", &c.codecId},
        {"FrameRate", &c.frameRate},
        {"FrameRate_Num", &c.frameRateNum},
        {"FrameRate_Den", &c.frameRateDen},
        {"Width", &c.width},
        {"Height", &c.height},
        {"ColorSpace", &c.colorSpace},
        {"ChromaSubsampling", &c.chromaSubsampling},
        {"ChromaSubsampling_Position", &c.chromaPosition},
        {"BitDepth", &c.bitDepth},
        {"colour_range", &c.colourRange},
        {"Rotation", &c.rotation},
    };
    std::vector<FieldQuery> queries;
    for (const auto& f : fields) queries.push_back({1, QString::fromLatin1(f.first)});
    const Fields got = FetchFields(api, info.absoluteFilePath(), queries, ParseDepth::Normal);
    if (!got.opened || got.counts[1] < 1) return c;
    c.found = true;
    for (std::size_t i = 0; i < queries.size(); ++i) *fields[i].second = got.values[i][0].trimmed();
    return c;
}

VideoCoding ReadVideoCoding(const QString& file) { return ReadVideoCoding(SystemMediaInfo(), file); }

std::optional<long> GetVideoSizeAndBitrate(const QString& file, QString& width, QString& height) {
    return GetVideoSizeAndBitrate(SystemMediaInfo(), file, width, height);
}

std::optional<long> GetVideoFrameRateAndBitrate(const QString& file, int& frameRate) {
    return GetVideoFrameRateAndBitrate(SystemMediaInfo(), file, frameRate);
}

double GetMediaDuration(const QString& file) { return GetMediaDuration(SystemMediaInfo(), file); }

double GetVideoDuration(const QString& file) { return GetVideoDuration(SystemMediaInfo(), file); }

}  // namespace probe
