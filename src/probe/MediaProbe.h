#pragma once
// Media facts read from the MediaInfo library's text report.
#include <QString>
#include <optional>
#include <vector>

namespace probe {

struct MediaInfoApi;

// Writes the picture size as decimal texts into width and height and gives the
// video bit rate in kb/s. Nothing when the report lacks the size or video
// labels (audio-only or unreadable files); an output already written stays.
std::optional<long> GetVideoSizeAndBitrate(const QString& file, QString& width, QString& height);

// Writes the frame rate (whole frames per second) and gives the video bit rate
// in kb/s; fails like the size probe.
std::optional<long> GetVideoFrameRateAndBitrate(const QString& file, int& frameRate);

// Seconds; 0 when the file is missing, hidden or the report has no duration.
double GetMediaDuration(const QString& file);

// The streams of a file as the library counts them (cover pictures are not
// streams here: an MP4 or Matroska cover is a tag or an attachment, an ID3
// picture an image), with durations in seconds.
struct StreamFacts {
    bool opened = false;
    int video = 0, audio = 0, text = 0;
    double duration = 0;  // the file's, 0 when not stated
    std::vector<double> videoDurations, audioDurations;
};
StreamFacts ReadStreamFacts(const QString& file);
StreamFacts ReadStreamFacts(const MediaInfoApi& api, const QString& file);

// The same probes over a given library (tests hand in stand-ins).
std::optional<long> GetVideoSizeAndBitrate(const MediaInfoApi& api, const QString& file, QString& width,
                                           QString& height);
std::optional<long> GetVideoFrameRateAndBitrate(const MediaInfoApi& api, const QString& file, int& frameRate);
double GetMediaDuration(const MediaInfoApi& api, const QString& file);

}  // namespace probe
