#include "probe/ReportReading.h"

#include <gtest/gtest.h>

using namespace probe;

namespace {

// A report in the library's layout: a row without "|" is a heading (after a
// blank line), "label|value" becomes the label padded to its column, ": ", value.
QString report(std::initializer_list<const char*> rows, const char* newline = "\n") {
    QString out;
    for (const char* row : rows) {
        const QString r = QString::fromUtf8(row);
        const int bar = r.indexOf('|');
        if (bar < 0) out += (out.isEmpty() ? QString() : QString(newline)) + r + newline;
        else out += r.left(bar).leftJustified(41) + ": " + r.mid(bar + 1) + newline;
    }
    return out;
}

// General section whose file name holds the very labels the readings look for.
#define GENERAL "General", "Complete name|/home/u/Videos/Width 1080 pixels video.mp4", \
                "Duration|12 s 360 ms", "Overall bit rate|250 kb/s", "Frame rate|50.000 FPS"

}  // namespace

TEST(ReportReading, SizeComesFromTheFirstVideoStream) {
    const struct { QString text; std::optional<QString> w, h; } cases[] = {
        {report({GENERAL, "Video", "Width|1 920 pixels", "Height|1 080 pixels"}), "1920", "1080"},
        {report({GENERAL, "Video #1", "Width|640 pixels", "Height|360 pixels", "Video #2", "Width|200 pixels",
                 "Height|100 pixels"}), "640", "360"},
        {report({GENERAL, "Video", "Width|640 pixels", "Original height|400 pixels"}), "640", std::nullopt},
        // An MP3 with a cover: the picture's size is no video size.
        {report({GENERAL, "Audio", "Bit rate|64.0 kb/s", "Image", "Width|200 pixels", "Height|100 pixels"}),
         std::nullopt, std::nullopt},
        {QString(), std::nullopt, std::nullopt},
        // Shown turned a quarter: the sides swap; half a turn keeps them.
        {report({GENERAL, "Video", "Width|640 pixels", "Height|360 pixels", "Rotation|90°"}), "360", "640"},
        {report({GENERAL, "Video", "Width|640 pixels", "Height|360 pixels", "Rotation|270°"}), "360", "640"},
        {report({GENERAL, "Video", "Width|640 pixels", "Height|360 pixels", "Rotation|-90.000"}), "360", "640"},
        {report({GENERAL, "Video", "Width|640 pixels", "Height|360 pixels", "Rotation|180°"}), "640", "360"},
        {report({GENERAL, "Video", "Width|640 pixels", "Height|360 pixels", "Rotation|0.000"}), "640", "360"},
        {report({GENERAL, "Video", "Width|640 pixels", "Height|360 pixels", "Rotation|45°"}), "640", "360"},
        // Only the first video stream's own rotation counts.
        {report({GENERAL, "Video #1", "Width|640 pixels", "Height|360 pixels", "Video #2", "Width|200 pixels",
                 "Height|100 pixels", "Rotation|90°"}), "640", "360"},
    };
    for (const auto& c : cases) {
        const VideoSize s = ReadVideoSize(c.text);
        EXPECT_EQ(s.width, c.w) << c.text.toStdString();
        EXPECT_EQ(s.height, c.h) << c.text.toStdString();
    }
}

TEST(ReportReading, FrameRateIsTheVideoStreamsFrameRateLine) {
    const struct { const char* value; std::optional<int> fps; } cases[] = {
        {"Frame rate|29.970 FPS", 30}, {"Frame rate|25.000 FPS", 25}, {"Frame rate|12.500 FPS", 12},
        {"Frame rate|13.500 FPS", 14}, {"Frame rate|23.976 (24000/1001) FPS", 24},
        {"Original frame rate|30.000 FPS", 0}, {"Frame rate|40000.000 FPS", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadFrameRate(report({GENERAL, "Video", "Width|640 pixels", "Frame rate mode|Constant", c.value,
                                        "Audio", "Frame rate|43.066 FPS (1024 SPF)"})), c.fps) << c.value;
    EXPECT_EQ(ReadFrameRate(report({GENERAL, "Audio", "Frame rate|38.281 FPS (1152 SPF)"})), std::nullopt);
}

TEST(ReportReading, BitRateValuesByUnit) {
    const struct { const char* value; std::optional<long> kbps; } cases[] = {
        {"1 615 kb/s", 1615}, {"175 kb/s", 175},   {"69.5 kb/s", 70},       {"15.0 Mb/s", 15000},
        {"12.5 Mb/s", 12500}, {"12.5 mbps", 12500}, {"12.5 MB / S", 12500}, {"1.2 Gb/s", 1200000},
        {"800 b/s", 1},       {"175", 175},        {"Unknown", 0},          {"", 0},
        {"3 000 Gb/s", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(BitRateKbps(c.value), c.kbps) << c.value;
}

TEST(ReportReading, BitRateIsTheVideoStreamsOwn) {
    EXPECT_EQ(ReadBitRate(report({GENERAL, "Video", "Duration|12 s 360 ms", "Bit rate mode|Constant",
                                  "Bit rate|15.0 Mb/s", "Maximum bit rate|20.0 Mb/s", "Width|640 pixels"})),
              15000);
    // A stream that states no bit rate (usual in MKV) gives 0, not the next number.
    EXPECT_EQ(ReadBitRate(report({GENERAL, "Video", "Duration|2 s 0 ms", "Width|320 pixels", "Height|240 pixels",
                                  "Audio", "Bit rate|69.2 kb/s"})), 0);
    EXPECT_EQ(ReadBitRate(report({GENERAL, "Audio", "Bit rate|64.0 kb/s"})), std::nullopt);
}

TEST(ReportReading, DurationIsTheFirstTimeCode) {
    const struct { const char* value; std::optional<double> seconds; } codes[] = {
        {"00:02:04.567", 124.567}, {"00:00:12:09", 12},   {"01:02:03.5", 3723.5},
        {"00:00:12.360 (00:00:12:09)", 12.36},           {"12 s 360 ms", std::nullopt},
        {"00:12", std::nullopt},   {"a:00:12", std::nullopt}, {"00:00:", std::nullopt},
    };
    for (const auto& c : codes) {
        const auto seconds = TimeCodeSeconds(c.value);
        ASSERT_EQ(seconds.has_value(), c.seconds.has_value()) << c.value;
        if (seconds) EXPECT_DOUBLE_EQ(*seconds, *c.seconds) << c.value;
    }

    const auto complete = {"General", "Complete name|/a/00:00:01.000.mp4", "Duration|12360",
                           "Duration|12 s 360 ms", "Duration|00:00:12.360", "Duration|00:00:12:09",
                           "Video", "Duration|00:00:10.000"};
    EXPECT_DOUBLE_EQ(ReadDuration(report(complete)), 12.36);
    EXPECT_DOUBLE_EQ(ReadDuration(report(complete, "\r\n")), 12.36);
    EXPECT_DOUBLE_EQ(ReadDuration(report({"General", "Duration|3 s 30 ms", "Source duration|00:00:03.050"})), 0);
    EXPECT_DOUBLE_EQ(ReadDuration(QString()), 0);
}

TEST(ReportReading, ParsesSectionsAroundChapterLabels) {
    const auto sections = ParseReport(report({"General", "Format|MPEG-4", "Menu", "00:00:00.000|en:Chapter 1",
                                              "Video", "Format/Info|Advanced Video Codec"}));
    ASSERT_EQ(sections.size(), 3u);
    EXPECT_EQ(sections[1].Value("00:00:00.000"), "en:Chapter 1");
    EXPECT_TRUE(sections[2].IsKind("Video"));
    EXPECT_EQ(sections[2].Value("Format/Info"), "Advanced Video Codec");
}
