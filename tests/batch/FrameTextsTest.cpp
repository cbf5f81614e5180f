// The seek and frame times and the command lines of the frame steps,
// character for character.
#include "batch/FrameGrab.h"
#include "batch/FrameToPicture.h"
#include "batch/OpeningClip.h"
#include "support/Printing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

using framegrab::SeekInputs;

TEST(SeekTime, EveryCaseOfTheCaptureMoment) {
    struct Case {
        bool del, head, percent;
        QString pos;
        double duration;
        QString seek;
    } cases[] = {
        // First frame and opening clip win over everything.
        {true, false, true, "50", 10, "0"},
        {true, true, false, "7", 10, "0"},
        {false, true, false, "7", 10, "0.5"},
        {false, true, true, "50", 10, "0.5"},
        // Percent of the duration, 3 decimals, "0" in front below 1.
        {false, false, true, "50", 10, "5"},
        {false, false, true, "5", 10, "00.5"},
        {false, false, true, "50", 0, "00"},
        {false, false, true, "33", 12.3456, "4.074"},
        {false, false, true, "100", 61.5, "61.5"},
        // Seconds as typed.
        {false, false, false, "1", 60, "1"},
        {false, false, false, ".5", 60, ".5"},
        {false, false, false, "0.5", 60, "0.5"},
        {false, false, false, "60", 60, "60"},  // equal is not beyond
        {false, false, false, "", 60, ""},
        {false, false, false, "0", 0, "0"},
        // Beyond the duration: 95 % of it.
        {false, false, false, "100", 60, "57"},
        {false, false, false, "1", 0.8, "00.76"},
        {false, false, false, "1", 0, "00"},
        {false, false, false, "9000", 10.5, "9.975"},
        // A percentage that is no number counts as 0.
        {false, false, true, "", 10, "00"},
        {false, false, true, "1.2.3", 10, "00"},
        // Other characters never reach the command as they stand.
        {false, false, false, "2 -map", 60, "2"},
        {false, false, false, "\"3\"", 60, "0"},
    };
    for (const auto& c : cases) {
        SeekInputs in{c.del, c.head, c.percent, c.pos};
        EXPECT_EQ(framegrab::SeekTime(in, c.duration), c.seek)
            << c.pos.toStdString() << " d=" << c.duration << " pct=" << c.percent;
    }
}

TEST(SeekTime, AFailedDurationCountsAsZero) {
    for (double d : {std::numeric_limits<double>::quiet_NaN(), -5.0, std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(framegrab::SeekTime({false, false, true, "50"}, d), "00");
        EXPECT_EQ(framegrab::SeekTime({false, false, false, "3"}, d), "00");
    }
}

TEST(FrameGrabCommand, ExactTextAndArguments) {
    const EncoderCommand cmd =
        framegrab::FrameAsCoverCommand("/v/My Clip's.mp4", "00.5", "/app/Tmp.png");
    EXPECT_EQ(cmd.Text(), "-i \"/v/My Clip's.mp4\" -y -ss 00.5 -vframes 1 -f image2  -y \"/app/Tmp.png\"");
    EXPECT_EQ(cmd.Arguments(), (QStringList{"-i", "/v/My Clip's.mp4", "-y", "-ss", "00.5", "-vframes", "1", "-f",
                                            "image2", "-y", "/app/Tmp.png"}));
    // An empty moment leaves two blanks after -ss.
    EXPECT_EQ(framegrab::FrameAsCoverCommand("/a.mp4", "", "/T.png").Text(),
              "-i \"/a.mp4\" -y -ss  -vframes 1 -f image2  -y \"/T.png\"");
    EXPECT_EQ(framegrab::GrabbingProgress(3, "10"), "状态：截取视频帧做封面中...已处理：3/10");
}

TEST(FrameTime, TextsAndTheTenSecondCap) {
    struct Case {
        float r;
        double duration;
        QString text;
    } cases[] = {
        {0.75f, 10, "7.5"},    {0.0731f, 10, "00.731"}, {0.0f, 10, "00"},
        {0.5f, 25, "5"},       // capped at 10 s
        {0.5f, 4.2, "2.1"},    {0.999f, 10, "9.99"},
        {0.5f, 0, "00"},       {0.5f, std::numeric_limits<double>::quiet_NaN(), "00"},
        {0.25f, -3, "00"},
    };
    for (const auto& c : cases) EXPECT_EQ(framepicture::FrameTime(c.r, c.duration), c.text) << c.r << " " << c.duration;
}

TEST(FrameTime, TheMomentStaysBeforeTheLastFrame) {
    const float highest = std::nextafter(1.0f, 0.0f);
    struct Case {
        double duration;
        int probedRate;
        double lastFrameStart;  // of the real rate
    } cases[] = {
        {1.0, 25, 0.96},     {0.6, 25, 0.56},        {10, 25, 9.96},
        {1.001, 30, 0.96763},  // 29.97 frames per second, probed as 30
        {2.0, 13, 1.92006},    // 12.51 frames per second, probed as 13
        {3.0, 0, 2.9},         // rate unknown: the fixed margin
    };
    for (const auto& c : cases) {
        const double span = framepicture::FrameSpan(c.duration, c.probedRate);
        const QString last = framepicture::FrameTime(highest, span);
        EXPECT_LT(last.toDouble(), c.lastFrameStart) << c.duration << " " << c.probedRate;
        EXPECT_GT(last.toDouble(), c.lastFrameStart - 0.1) << c.duration << " " << c.probedRate;
        EXPECT_EQ(framepicture::FrameTime(0.0f, span), "00");
    }
    // Still three decimals with "0" in front below 1.
    EXPECT_EQ(framepicture::FrameTime(0.5f, framepicture::FrameSpan(1.0, 25)), "00.479");
    EXPECT_EQ(framepicture::FrameTime(0.5f, framepicture::FrameSpan(25, 25)), "5");  // ten seconds from a long video
    // One frame, or no duration: the start.
    for (double d : {0.04, 0.0, -1.0, std::numeric_limits<double>::quiet_NaN()})
        EXPECT_EQ(framepicture::FrameSpan(d, 25), 0) << d;
}

TEST(FrameTime, TheGeneratorRepeatsFromItsFixedSeed) {
    framepicture::FrameRandom a, b;
    float lo = 1, hi = 0;
    for (int i = 0; i < 10000; ++i) {
        const float x = a.Next();
        ASSERT_EQ(x, b.Next());
        ASSERT_GE(x, 0.0f);
        ASSERT_LT(x, 1.0f);
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    EXPECT_LT(lo, 0.01f);  // spread over the whole range
    EXPECT_GT(hi, 0.99f);
}

TEST(FrameToPictureCommand, ExactBlanks) {
    const EncoderCommand cmd =
        framepicture::FrameToPictureCommand("00.731", "/v/a b.mp4", "/v/a b.jpg");
    EXPECT_EQ(cmd.Text(), "-ss 00.731 -i \"/v/a b.mp4\"  -vframes 1 -f image2   -q:v 0 -y \"/v/a b.jpg\"");
    EXPECT_EQ(cmd.Arguments(), (QStringList{"-ss", "00.731", "-i", "/v/a b.mp4", "-vframes", "1", "-f", "image2",
                                            "-q:v", "0", "-y", "/v/a b.jpg"}));
}

TEST(OpeningClipTexts, CropAndTimeFromPercentages) {
    EXPECT_EQ(openingclip::CropText("1,2,3,4", "1920", "1080"),
              QString(" -filter_complex crop=x=19:y=22:w=1843:h=1015 "));
    EXPECT_EQ(openingclip::CropText("1,2,3,4%", "1920", "1080"),
              QString(" -filter_complex crop=x=19:y=22:w=1843:h=1015 "));
    EXPECT_EQ(openingclip::CropText("5,5,5,5", "1920", "1080"),
              QString(" -filter_complex crop=x=96:y=54:w=1728:h=972 "));
    // 2.5 and 0.5 round to the even neighbour.
    EXPECT_EQ(openingclip::CropText("0.5,0.5,0,0", "500", "100"), QString(" -filter_complex crop=x=2:y=0:w=498:h=100 "));
    for (const char* bad : {"1,2,3", "1,2,x,4", "", "1,,3,4"})
        EXPECT_FALSE(openingclip::CropText(bad, "1920", "1080")) << bad;
    EXPECT_FALSE(openingclip::CropText("1,2,3,4", "", "1080"));

    EXPECT_EQ(openingclip::TimeText("5,3", 100), QString("-ss 5 -t 92 "));
    EXPECT_EQ(openingclip::TimeText("0.4,0", 100), QString("-ss 0.4 -t 99.6 "));
    EXPECT_EQ(openingclip::TimeText("10,10%", 63.5), QString("-ss 6.35 -t 50.8 "));
    EXPECT_EQ(openingclip::TimeText("5,3", 0), QString("-ss 0 -t 0 "));
    EXPECT_FALSE(openingclip::TimeText("5", 100));
    EXPECT_FALSE(openingclip::TimeText("a,3", 100));
}

TEST(OpeningClipTexts, TheFourCommandLines) {
    using namespace openingclip;
    const auto files = FilesFor("/app", "/v/clip.part1.MP4");
    ASSERT_TRUE(files);
    EXPECT_EQ(files->ext, ".MP4");
    EXPECT_EQ(files->cut, "/app/Cut.MP4");
    EXPECT_EQ(files->headFrames, "/app/Temp.MP4");
    EXPECT_EQ(files->headClip, "/app/Head.MP4");
    EXPECT_EQ(files->list, "/app/List.txt");
    EXPECT_EQ(files->film, "/app/Film.MP4");
    EXPECT_FALSE(FilesFor("/app", "/v.d/noext"));

    EXPECT_EQ(CutCommand("", "/v/a.mp4", "", "25", 812, "/app/Cut.mp4").Text(),
              " -i \"/v/a.mp4\"  -y -q:v 0 -r 25 -b:v 812k -acodec copy \"/app/Cut.mp4\"");
    EXPECT_EQ(CutCommand("-ss 5 -t 92 ", "/v/a.mp4", " -filter_complex crop=x=1:y=2:w=3:h=4 ", "30000/1001", 100,
                         "/app/Cut.mp4")
                  .Text(),
              "-ss 5 -t 92  -i \"/v/a.mp4\"  -filter_complex crop=x=1:y=2:w=3:h=4  -y -q:v 0 -r 30000/1001 -b:v 100k "
              "-acodec copy \"/app/Cut.mp4\"");
    HeadCoding head;
    head.rate = "25/2";
    head.videoArgs = " -c:v libx264 -profile:v high -pix_fmt yuv420p";
    EXPECT_EQ(HeadFramesCommand("/v/a.mp4", head, 812, "/app/Temp.mp4").Text(),
              "-ss 0 -t 0.5 -i \"/v/a.mp4\" -y -q:v 0 -r 25/2 -b:v 812k -c:v libx264 -profile:v high -pix_fmt yuv420p "
              "-acodec copy \"/app/Temp.mp4\"");
    // The head's sound ends with the head: a packet that ends later is left out.
    EXPECT_EQ(HeadOverlayCommand("/app/Temp.mp4", "/app/Tmp.png", "[1:v]scale=64:48[c];[0:v][c]overlay=0:0", head,
                                 812, 0.56, "/app/Head.mp4")
                  .Text(),
              "-i \"/app/Temp.mp4\" -i  \"/app/Tmp.png\" -filter_complex [1:v]scale=64:48[c];[0:v][c]overlay=0:0 -y "
              "-q:v 0  -r 25/2 -b:v 812k -c:v libx264 -profile:v high -pix_fmt yuv420p -q:a 0 -acodec copy "
              "-bsf:a noise=drop=gt((pts+duration)*tb\\,0.560001) \"/app/Head.mp4\"");
    // Matroska: no sample entry to name.
    EXPECT_EQ(ConcatCommand("/app/List.txt", head, "/out/a.mkv").Text(),
              "-safe 0 -f concat -i \"/app/List.txt\" -y -q:v 0 -q:a 0 -c copy \"/out/a.mkv\"");
    head.joinTag = " -tag:v hev1";
    EXPECT_EQ(ConcatCommand("/app/List.txt", head, "/out/a.mp4").Arguments(),
              (QStringList{"-safe", "0", "-f", "concat", "-i", "/app/List.txt", "-y", "-q:v", "0", "-q:a", "0", "-c",
                           "copy", "-tag:v", "hev1", "/out/a.mp4"}));
    EXPECT_EQ(FilmCopyCommand("/v/a.mp4", head, "/app/Film.mp4").Text(),
              "-i \"/v/a.mp4\" -y -c copy -bsf:v hevc_mp4toannexb -tag:v hev1 \"/app/Film.mp4\"");
}

TEST(OpeningClipTexts, TheExactFrameRate) {
    const auto rate = [](const char* frameRate, const char* num = "", const char* den = "") {
        probe::VideoCoding v;
        v.frameRate = frameRate;
        v.frameRateNum = num;
        v.frameRateDen = den;
        return openingclip::ExactRate(v);
    };
    EXPECT_EQ(rate("29.970", "30000", "1001"), QString("30000/1001"));
    EXPECT_EQ(rate("25.000", "25", "1"), QString("25"));
    EXPECT_EQ(rate("25.000", "50", "2"), QString("25"));
    // Without the fraction: the decimal, the NTSC family read as /1001.
    EXPECT_EQ(rate("12.500"), QString("25/2"));
    EXPECT_EQ(rate("29.970"), QString("30000/1001"));
    EXPECT_EQ(rate("23.976"), QString("24000/1001"));
    EXPECT_EQ(rate("59.940"), QString("60000/1001"));
    EXPECT_EQ(rate("30.000"), QString("30"));
    EXPECT_EQ(rate("29.934"), QString("14967/500"));  // a phone's average
    for (const char* bad : {"", "x", "0", "-25"}) EXPECT_FALSE(rate(bad)) << bad;
    EXPECT_EQ(rate("25.000", "0", "0"), QString("25"));
}

namespace {

probe::VideoCoding Avc(const char* profile) {
    probe::VideoCoding v;
    v.found = true;
    v.format = "AVC";
    v.profile = profile;
    v.codecId = "avc1";
    v.frameRate = "29.970";
    v.frameRateNum = "30000";
    v.frameRateDen = "1001";
    v.width = "1920";
    v.height = "1080";
    v.colorSpace = "YUV";
    v.chromaSubsampling = "4:2:0";
    v.bitDepth = "8";
    v.colourRange = "Limited";
    return v;
}

openingclip::Body In(container::Mechanism m, const probe::VideoCoding& v, long long timescale = 0) {
    probe::StreamFacts streams;
    streams.opened = true;
    streams.video = streams.audio = 1;
    return {v, streams, m, timescale};
}

}  // namespace

TEST(OpeningClipTexts, TheHeadIsCodedAsTheFilmBehindIt) {
    using container::Mechanism;
    using openingclip::HeadCodingFor;
    // A phone's H.264 in MP4, ticking at 90 kHz.
    auto h = HeadCodingFor(In(Mechanism::Mp4, Avc("High@L4.1"), 90000));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->rate, "30000/1001");
    EXPECT_EQ(h->videoArgs, " -c:v libx264 -profile:v high -level 4.1 -pix_fmt yuv420p -chroma_sample_location "
                            "unspecified -video_track_timescale 90000");
    EXPECT_EQ(h->width, 1920);
    EXPECT_EQ(h->height, 1080);
    EXPECT_FALSE(h->filmCopy);
    EXPECT_EQ(h->joinTag, " -tag:v avc3");

    // Matroska keeps its own millisecond ticks; full range, a stated chroma
    // position, ten bits.
    probe::VideoCoding v = Avc("Constrained Baseline@L3");
    v.colourRange = "Full";
    v.chromaPosition = "Type 2";
    h = HeadCodingFor(In(Mechanism::Matroska, v));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->videoArgs,
              " -c:v libx264 -profile:v baseline -level 3 -pix_fmt yuvj420p -chroma_sample_location topleft");
    EXPECT_EQ(h->joinTag, "");
    v = Avc("High 10");
    v.bitDepth = "10";
    v.chromaSubsampling = "4:2:2";
    v.colourRange = "Full";  // no "j" format above 8 bits: the range comes with the frames
    h = HeadCodingFor(In(Mechanism::Matroska, v));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->videoArgs, " -c:v libx264 -profile:v high10 -pix_fmt yuv422p10le -chroma_sample_location unspecified");

    // HEVC: x265 takes the profile from the pixel format, the level and tier
    // are the film's; its parameter sets go into the stream, as the film's
    // do in its copy, and the sample entry says so.
    v = Avc("Main 10@L5.1@High");
    v.format = "HEVC";
    v.codecId = "hvc1";
    v.bitDepth = "10";
    v.frameRateNum = v.frameRateDen = "";
    v.frameRate = "25.000";
    h = HeadCodingFor(In(Mechanism::QuickTime, v, 12800));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->rate, "25");
    EXPECT_EQ(h->videoArgs, " -c:v libx265 -x265-params level-idc=5.1:high-tier=1:repeat-headers=1 -pix_fmt "
                            "yuv420p10le -chroma_sample_location unspecified -tag:v hev1 -video_track_timescale 12800");
    EXPECT_TRUE(h->filmCopy);
    EXPECT_EQ(h->joinTag, " -tag:v hev1");
    v.profile = "Main";
    v.bitDepth = "12";
    v.colorSpace = "Y";
    v.codecId = "V_MPEGH/ISO/HEVC";
    h = HeadCodingFor(In(Mechanism::Matroska, v));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->videoArgs,
              " -c:v libx265 -x265-params repeat-headers=1 -pix_fmt gray12le -chroma_sample_location unspecified");
    EXPECT_TRUE(h->filmCopy);
    EXPECT_EQ(h->joinTag, "");

    // What cannot be repeated.
    struct Refused {
        const char* why;
        probe::VideoCoding v;
        Mechanism m;
        long long timescale;
    };
    std::vector<Refused> refused;
    const auto with = [&](const char* why, auto change, Mechanism m = Mechanism::Mp4, long long timescale = 90000) {
        probe::VideoCoding c = Avc("High@L4");
        change(c);
        refused.push_back({why, c, m, timescale});
    };
    with("no video", [](probe::VideoCoding& c) { c.found = false; });
    with("MPEG-4 Visual", [](probe::VideoCoding& c) { c.format = "MPEG-4 Visual"; });
    with("VP9", [](probe::VideoCoding& c) { c.format = "VP9"; }, Mechanism::Matroska);
    with("a profile libx264 lacks", [](probe::VideoCoding& c) { c.profile = "High 4:4:4 Intra@L4"; });
    with("12 bits in H.264", [](probe::VideoCoding& c) { c.bitDepth = "12"; });
    with("RGB", [](probe::VideoCoding& c) { c.colorSpace = "RGB"; });
    with("4:1:1", [](probe::VideoCoding& c) { c.chromaSubsampling = "4:1:1"; });
    with("no rate", [](probe::VideoCoding& c) { c.frameRate = c.frameRateNum = c.frameRateDen = ""; });
    with("no size", [](probe::VideoCoding& c) { c.width = ""; });
    with("turned", [](probe::VideoCoding& c) { c.rotation = "90.000"; });
    with("no time base", [](probe::VideoCoding&) {}, Mechanism::Mp4, 0);
    with("no QuickTime time base", [](probe::VideoCoding&) {}, Mechanism::QuickTime, 0);
    for (const Refused& r : refused) EXPECT_FALSE(HeadCodingFor(In(r.m, r.v, r.timescale))) << r.why;
    // The head carries one video and one audio stream, nothing more.
    for (const auto& [video, audio, text] : {std::tuple{2, 1, 0}, {1, 2, 0}, {1, 1, 1}, {0, 1, 0}}) {
        openingclip::Body b = In(Mechanism::Matroska, Avc("High@L4"));
        b.streams.video = video;
        b.streams.audio = audio;
        b.streams.text = text;
        EXPECT_FALSE(HeadCodingFor(b)) << video << audio << text;
    }
    openingclip::Body silent = In(Mechanism::Matroska, Avc("High@L4"));
    silent.streams.audio = 0;
    EXPECT_TRUE(HeadCodingFor(silent));
    // An unturned picture says 0.
    v = Avc("High@L4");
    v.rotation = "0.000";
    EXPECT_TRUE(HeadCodingFor(In(Mechanism::Mp4, v, 600)));
}

TEST(OpeningClipTexts, TheCoverIsCutLikeTheFilmAndFillsItsFrame) {
    using openingclip::CoverFilter;
    EXPECT_EQ(CoverFilter(std::nullopt, 1920, 1080), "[1:v]scale=1920:1080[c];[0:v][c]overlay=0:0");
    const auto box = openingclip::CropBoxFor("10,10,10,10", "160", "120");
    ASSERT_TRUE(box);
    EXPECT_EQ(CoverFilter(box, 128, 96), "[1:v]crop=x=16:y=12:w=128:h=96,scale=128:96[c];[0:v][c]overlay=0:0");
    // The film is cut by the same box.
    EXPECT_EQ(openingclip::CropText(*box), " -filter_complex crop=x=16:y=12:w=128:h=96 ");
    // The trim's length is what the joined film keeps.
    const auto trim = openingclip::TrimFor("25,25%", 4);
    ASSERT_TRUE(trim);
    EXPECT_DOUBLE_EQ(trim->start, 1);
    EXPECT_DOUBLE_EQ(trim->length, 2);
}

TEST(OpeningClipTexts, TheJoinListQuotesApostrophes) {
    EXPECT_EQ(openingclip::ConcatListText("/app/Head.mp4", 0.5005, "/v/a.mp4"),
              "file '/app/Head.mp4'\r\nduration 0.500500\r\nfile '/v/a.mp4'\r\n");
    EXPECT_EQ(openingclip::ConcatListText("/app/Head.mp4", 0.5, "/v/Tom's.mp4"),
              "file '/app/Head.mp4'\r\nduration 0.500000\r\nfile '/v/Tom'\\''s.mp4'\r\n");
    EXPECT_EQ(openingclip::ConcatQuoted("''"), "'\\'''\\''");
}

TEST(OpeningClipTexts, StatusTexts) {
    EXPECT_EQ(openingclip::CuttingStatus(""), "视频画面、时间轴裁剪中...Mb");
    EXPECT_EQ(openingclip::CuttingStatus(openingclip::SizeMbText(1572864)), "视频画面、时间轴裁剪中...1.5Mb");
    EXPECT_EQ(openingclip::SizeMbText(0), "0");
    EXPECT_EQ(openingclip::SizeMbText(5242), "0");      // 0.004999 MB
    EXPECT_EQ(openingclip::SizeMbText(131072), "0.12");  // 0.125 MB: the half goes to even
    EXPECT_EQ(openingclip::SizeMbText(393216), "0.38");  // 0.375 MB
    EXPECT_EQ(openingclip::ClipProgress(2, 7), "状态：生成附加片头封面视频中...已处理：2/7");
}

TEST(OpeningClipTexts, TheHeadLastsUntilTheFilmsFirstPictureIsDue) {
    using openingclip::HeadLength;
    probe::FrameTimes head, film;
    head.read = film.read = true;
    for (int i = 0; i < 15; ++i) head.shown.push_back(i * 1001 / 30000.0);
    // A film whose sound and picture start together follows the head's last
    // picture by one frame.
    auto length = HeadLength(head, "30000/1001", film);
    ASSERT_TRUE(length);
    EXPECT_NEAR(*length, 15 * 1001 / 30000.0, 1e-9);
    // Matroska films often start their sound a little before the picture:
    // the film begins that much earlier. A head whose picture starts late
    // (as the encoder places it after such sound) lasts that much longer.
    film.videoLead = 0.023;
    head.videoLead = 0.033;
    for (double& t : head.shown) t += 0.033;
    length = HeadLength(head, "30000/1001", film);
    ASSERT_TRUE(length);
    EXPECT_NEAR(*length, 0.033 + 15 * 1001 / 30000.0 - 0.023, 1e-9);
    // Times that cannot be read give no head.
    film.read = false;
    EXPECT_FALSE(HeadLength(head, "30000/1001", film));
    film.read = true;
    EXPECT_FALSE(HeadLength(head, "", film));
    EXPECT_FALSE(HeadLength(probe::FrameTimes{true}, "30", film));
    EXPECT_DOUBLE_EQ(openingclip::FramePeriod("25/2"), 0.08);
    EXPECT_DOUBLE_EQ(openingclip::FramePeriod("30"), 1 / 30.0);
}
