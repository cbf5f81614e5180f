#pragma once
// Media facts read from the MediaInfo library's text report.
#include <QString>
#include <optional>
#include <vector>

namespace probe {

struct MediaInfoApi;

// Writes the picture size as players show it (sides swapped for a quarter
// turn) as decimal texts into width and height and gives the video bit rate
// in kb/s. Nothing when the report lacks the size or video labels (audio-only
// or unreadable files); width and height are empty texts unless read.
std::optional<long> GetVideoSizeAndBitrate(const QString& file, QString& width, QString& height);

// Writes the frame rate (whole frames per second) and gives the video bit rate
// in kb/s; fails like the size probe.
std::optional<long> GetVideoFrameRateAndBitrate(const QString& file, int& frameRate);

// Seconds; 0 when the file is missing, hidden or the report has no duration.
double GetMediaDuration(const QString& file);

// Seconds of picture: the first video stream's own duration where the library
// states one (a film whose sound runs on past its last frame is shorter than
// its file), else the file's as GetMediaDuration reads it.
double GetVideoDuration(const QString& file);

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

// How the first video stream is coded, in the library's own words (empty
// texts where it states nothing).
struct VideoCoding {
    bool found = false;
    QString format;             // "AVC", "HEVC"
    QString profile;            // "High@L4.1", "Main 10@L5.1@Main"
    QString codecId;            // "avc1", "hvc1", "V_MPEGH/ISO/HEVC"
    QString frameRate;          // "29.970"
    QString frameRateNum, frameRateDen;
    QString width, height;
    QString colorSpace;         // "YUV"
    QString chromaSubsampling;  // "4:2:0"
    QString chromaPosition;     // "Type 2"; empty when not signalled
    QString bitDepth;           // "8"
    QString colourRange;        // "Limited", "Full"
    QString rotation;           // "90.000"
};
VideoCoding ReadVideoCoding(const QString& file);
VideoCoding ReadVideoCoding(const MediaInfoApi& api, const QString& file);

// The same probes over a given library (tests hand in stand-ins).
std::optional<long> GetVideoSizeAndBitrate(const MediaInfoApi& api, const QString& file, QString& width,
                                           QString& height);
std::optional<long> GetVideoFrameRateAndBitrate(const MediaInfoApi& api, const QString& file, int& frameRate);
double GetMediaDuration(const MediaInfoApi& api, const QString& file);
double GetVideoDuration(const MediaInfoApi& api, const QString& file);

}  // namespace probe
