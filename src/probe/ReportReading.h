#pragma once
// Reading MediaInfo's text report: sections of "label : value" lines under a
// heading ("General", "Video", "Video #2", "Audio", "Image", ...). Values are
// taken from the line with exactly the wanted label inside the wanted section,
// never by position, so a file name in "Complete name" or a stream without a
// bit rate cannot shift a reading onto some other number.
#include <QString>
#include <optional>
#include <vector>

namespace probe {

struct ReportLine {
    QString label;
    QString value;
};

struct ReportSection {
    QString heading;
    std::vector<ReportLine> lines;

    // The value of the first line with exactly this label.
    std::optional<QString> Value(const QString& label) const;
    // "Video" is the kind of both "Video" and "Video #1".
    bool IsKind(const QString& kind) const;
};

std::vector<ReportSection> ParseReport(const QString& report);

// Width and height of the first video stream as players show it, as decimal
// texts without grouping blanks ("1 920 pixels" gives "1920"): swapped when
// the stream is turned a quarter (its "Rotation" 90° or 270°). Each is absent
// when that stream lacks it, both when the report has no video stream.
struct VideoSize {
    std::optional<QString> width;
    std::optional<QString> height;
};
VideoSize ReadVideoSize(const QString& report);

// Whether a rotation value ("90°", "270.000", "-90") turns the picture a
// quarter, so that its width and height swap places.
bool TurnedSideways(const QString& rotation);

// The "Frame rate" of the first video stream in whole frames per second,
// halves to even (12.500 gives 12); 0 when that stream states none. Nothing
// when there is no video stream or the value does not fit in 16 bits.
std::optional<int> ReadFrameRate(const QString& report);

// The "Bit rate" of the first video stream in kb/s; 0 when that stream
// states none. Nothing when there is no video stream or the value does not
// fit in 32 bits.
std::optional<long> ReadBitRate(const QString& report);

// A bit-rate value in kb/s, by its unit (any case, blanks ignored):
// "1 615 kb/s" 1615, "15.0 Mb/s" and "15 mbps" 15000, "1.2 Gb/s" 1200000,
// "800 b/s" 1; a bare number counts as kb/s. Nothing when it exceeds 32 bits.
std::optional<long> BitRateKbps(const QString& value);

// Seconds of the first "Duration" line (of the complete report) whose value
// is a time code; 0 when there is none.
double ReadDuration(const QString& completeReport);

// "00:02:04.567" gives 124.567; a fourth part (frames, "00:00:12:09") is
// ignored. Nothing unless there are at least three parts, the first two are
// numbers and the third starts with one.
std::optional<double> TimeCodeSeconds(const QString& value);

}  // namespace probe
