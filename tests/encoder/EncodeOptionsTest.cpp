#include "encoder/EncodeOptions.h"
#include "batch/WindowRead.h"
#include "support/Printing.h"

#include "app/VbCombo.h"
#include "probe/MediaProbe.h"
#include "support/FormFixture.h"
#include "support/Media.h"

#include <QCheckBox>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kTail = " -preset fast -crf 23 -q:v 0 -q:a 0  -acodec copy  -y ";
// With a video bit rate the compression gives way to it.
const QString kRateTail = " -preset fast -q:v 0 -q:a 0  -acodec copy  -y ";

QString rate(int kbps) { return QString(" -b:v %1k -maxrate %1k -bufsize %2k ").arg(kbps).arg(2 * kbps); }

// Controls with everything at "keep" and compression 23.
EncodeControls keepAll() {
    EncodeControls c;
    c.other = true;
    c.sizeIndex = 0;
    c.sizeText = "保持原尺寸";
    c.vbitIndex = 0;
    c.vbitText = "保持源视频比特率";
    c.frmsIndex = 0;
    c.frmsText = " 保持原帧频";
    c.abitIndex = 0;
    c.abitText = "保持源音频比特率";
    c.arateIndex = 0;
    c.arateText = "保持源音频采样率";
    c.compText = "23";
    return c;
}

struct FakeSource {
    std::optional<EncodeProbes::Size> size;
    std::optional<long> bitrate;
    int sizeCalls = 0, bitrateCalls = 0;

    EncodeProbes probes() {
        EncodeProbes p;
        p.videoSize = [this] { ++sizeCalls; return size; };
        p.videoBitrateKbps = [this] { ++bitrateCalls; return bitrate; };
        return p;
    }
};

FakeSource source(const QString& w, const QString& h, std::optional<long> kbps = 5000) {
    FakeSource s;
    s.size = EncodeProbes::Size{w, h};
    s.bitrate = kbps;
    return s;
}

}  // namespace

TEST(EncodeOptions, StreamCopyWithoutReEncoding) {
    EncodeControls c = keepAll();
    c.other = false;
    c.sizeIndex = 5;
    c.sizeText = "50%";
    c.vbitIndex = 1;
    FakeSource src = source("1920", "1080");
    EXPECT_EQ(BuildEncodeOptions(c, src.probes()), " -q:v 0 -q:a 0 -c copy -y ");
    EXPECT_EQ(src.sizeCalls + src.bitrateCalls, 0);  // nothing else is read
}

TEST(EncodeOptions, PiecesAndTheirBlanks) {
    struct Case {
        const char* what;
        std::function<void(EncodeControls&)> set;
        QString width, height;
        long kbps;
        QString expected;
        int sizeCalls, bitrateCalls;
    };
    const Case cases[] = {
        {"keep everything", [](EncodeControls&) {}, "1920", "1080", 5000, kTail, 0, 0},
        {"50 %, frame rate 25",
         [](EncodeControls& c) {
             c.sizeIndex = 5, c.sizeText = "50%";
             c.frmsIndex = 2, c.frmsText = " 25";
         },
         "1920", "1080", 5000, " -s 960:540  -r  25 " + kTail, 1, 0},
        {"1280x? on 1920x1080", [](EncodeControls& c) { c.sizeIndex = 35, c.sizeText = "1280x?"; }, "1920", "1080",
         5000, " -s 1280:720 " + kTail, 1, 0},
        {"?x960 on 1920x1080 (1707 made even)", [](EncodeControls& c) { c.sizeIndex = 36, c.sizeText = "?x960"; },
         "1920", "1080", 5000, " -s 1708:960 " + kTail, 1, 0},
        {"typed ?x721 on 4:3", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "?x721"; }, "640", "480", 5000,
         " -s 962:721 " + kTail, 1, 0},  // 961.33 -> 961 -> 962; the given side stays as typed
        {"half rounds to even", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "?x5"; }, "5", "2", 5000,
         " -s 12:5 " + kTail, 1, 0},  // 12.5 -> 12
        {"percentage giving 1279x719", [](EncodeControls& c) { c.sizeIndex = 5, c.sizeText = "50%"; }, "2558", "1438",
         5000, " -s 1280:720 " + kTail, 1, 0},
        {"90 % is cut down", [](EncodeControls& c) { c.sizeIndex = 1, c.sizeText = "90%"; }, "1279", "719", 5000,
         " -s 1152:648 " + kTail, 1, 0},  // 1151.1 -> 1151 -> 1152; 647.1 -> 648
        {"the quotient is formed first", [](EncodeControls& c) { c.sizeIndex = 3, c.sizeText = "70%"; }, "1370",
         "90", 5000, " -s 958:62 " + kTail, 1, 0},  // 1370 * 0.7 = 958.999..., 90 * 0.7 = 62.999...
        {"listed size", [](EncodeControls& c) { c.sizeIndex = 13, c.sizeText = "1280x720"; }, "1", "1", 5000,
         " -s 1280:720 " + kTail, 0, 0},
        {"typed size without ?", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "100x100"; }, "1", "1", 5000,
         " -s 100:100 " + kTail, 0, 0},
        {"typed size that is no item", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "500x300"; }, "1", "1",
         5000, " -s 500:300 " + kTail, 0, 0},
        {"typed size with blanks and a capital X, odd sides made even",
         [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = " 501 X 299 "; }, "1", "1", 5000,
         " -s 502:300 " + kTail, 0, 0},
        {"typed text equal to an item", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "1280x720"; }, "1",
         "1", 5000, " -s 1280:720 " + kTail, 0, 0},
        {"typed percentage", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "50%"; }, "1920", "1080", 5000,
         " -s 960:540 " + kTail, 1, 0},
        {"typed keep text", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "保持原尺寸"; }, "1", "1", 5000,
         kTail, 0, 0},
        {"emptied size box", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = " "; }, "1", "1", 5000, kTail, 0,
         0},
        {"? without any number keeps the size", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "?x?"; },
         "1920", "1080", 5000, kTail, 1, 0},
        {"video bit rate 90 % in 32 bits", [](EncodeControls& c) { c.vbitIndex = 1, c.vbitText = "90%"; }, "1", "1",
         40000, rate(36000) + kRateTail, 0, 1},
        {"video bit rate rounds halves to even", [](EncodeControls& c) { c.vbitIndex = 5, c.vbitText = "50%"; }, "1",
         "1", 4001, rate(2000) + kRateTail, 0, 1},
        {"item 10 gives 0 and keeps the compression",
         [](EncodeControls& c) { c.vbitIndex = 10, c.vbitText = "自定义比如200"; }, "1", "1", 5000,
         " -b:v 0k " + kTail, 0, 1},
        {"typed video bit rate", [](EncodeControls& c) { c.vbitIndex = -1, c.vbitText = "300"; }, "1", "1", 5000,
         rate(300) + kRateTail, 0, 0},
        {"audio bit rate drops the audio copy", [](EncodeControls& c) { c.abitIndex = 5, c.abitText = "128"; }, "1",
         "1", 5000, " -b:a 128k  -preset fast -crf 23 -q:v 0  -y ", 0, 0},
        {"sample rate drops the audio copy", [](EncodeControls& c) { c.arateIndex = 2, c.arateText = "44100"; }, "1",
         "1", 5000, " -ar 44100  -preset fast -crf 23 -q:v 0 -q:a 0  -y ", 0, 0},
        {"everything",
         [](EncodeControls& c) {
             c.sizeIndex = 16, c.sizeText = "1920x1080";
             c.vbitIndex = -1, c.vbitText = "2500";
             c.frmsIndex = 7, c.frmsText = " 12";
             c.abitIndex = 10, c.abitText = "56";
             c.arateIndex = 6, c.arateText = "16000";
             c.compText = "0";
         },
         "1", "1", 5000,
         " -s 1920:1080 " + rate(2500) + " -r  12  -b:a 56k  -ar 16000  -preset fast -q:v 0  -y ", 0, 0},
    };
    for (const Case& k : cases) {
        EncodeControls c = keepAll();
        k.set(c);
        FakeSource src = source(k.width, k.height, k.kbps);
        const auto out = BuildEncodeOptions(c, src.probes());
        ASSERT_TRUE(out.has_value()) << k.what;
        EXPECT_EQ(*out, k.expected) << k.what;
        EXPECT_EQ(src.sizeCalls, k.sizeCalls) << k.what;
        EXPECT_EQ(src.bitrateCalls, k.bitrateCalls) << k.what;
    }
}

TEST(EncodeOptions, FailuresEndTheBuildUnlessTheSizeWasComputed) {
    struct Case {
        const char* what;
        std::function<void(EncodeControls&)> set;
        std::optional<EncodeProbes::Size> size;
        std::optional<long> kbps;
        std::optional<QString> expected;
    };
    const EncodeProbes::Size fullHd{"1920", "1080"};
    const Case cases[] = {
        {"percentage, size probe fails", [](EncodeControls& c) { c.sizeIndex = 5, c.sizeText = "50%"; },
         std::nullopt, 5000, std::nullopt},
        {"? rule, size probe fails", [](EncodeControls& c) { c.sizeIndex = 35, c.sizeText = "1280x?"; },
         std::nullopt, 5000, std::nullopt},
        {"? rule, height 0", [](EncodeControls& c) { c.sizeIndex = 35, c.sizeText = "1280x?"; },
         EncodeProbes::Size{"1920", "0"}, 5000, std::nullopt},
        {"? rule, size no number", [](EncodeControls& c) { c.sizeIndex = 35, c.sizeText = "1280x?"; },
         EncodeProbes::Size{"", "1080"}, 5000, std::nullopt},
        {"bit rate probe fails", [](EncodeControls& c) { c.vbitIndex = 2, c.vbitText = "80%"; }, fullHd,
         std::nullopt, std::nullopt},
        {"typed bit rate not a number", [](EncodeControls& c) { c.vbitIndex = -1, c.vbitText = "300k"; }, fullHd,
         5000, std::nullopt},
        {"bit rate beyond 32 bits", [](EncodeControls& c) { c.vbitIndex = -1, c.vbitText = "3000000000"; }, fullHd,
         5000, std::nullopt},
        {"? side beyond 32 bits", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "2000000000x?"; },
         EncodeProbes::Size{"1", "2"}, 5000, std::nullopt},
        {"typed size not W x H", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "500"; }, fullHd, 5000,
         std::nullopt},
        {"typed size with a zero side", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "500x0"; }, fullHd,
         5000, std::nullopt},
        {"typed size beyond 16 bits", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "40000x300"; }, fullHd,
         5000, std::nullopt},
        {"typed size of three sides", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "5x3x2"; }, fullHd, 5000,
         std::nullopt},
        {"typed percentage above 100", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "150%"; }, fullHd, 5000,
         std::nullopt},
        {"typed percentage, size probe fails", [](EncodeControls& c) { c.sizeIndex = -1, c.sizeText = "50%"; },
         std::nullopt, 5000, std::nullopt},
        {"after a ? size a failing bit rate only drops its piece",
         [](EncodeControls& c) {
             c.sizeIndex = 35, c.sizeText = "1280x?";
             c.vbitIndex = 2, c.vbitText = "80%";
             c.frmsIndex = 1, c.frmsText = " 30";
         },
         fullHd, std::nullopt, QString(" -s 1280:720  -r  30 " + kTail)},
        {"after a ? size a bad typed bit rate only drops its piece",
         [](EncodeControls& c) {
             c.sizeIndex = 36, c.sizeText = "?x960";
             c.vbitIndex = -1, c.vbitText = "abc";
         },
         fullHd, 5000, QString(" -s 1708:960 " + kTail)},
    };
    for (const Case& k : cases) {
        EncodeControls c = keepAll();
        k.set(c);
        FakeSource src;
        src.size = k.size;
        src.bitrate = k.kbps;
        EXPECT_EQ(BuildEncodeOptions(c, src.probes()), k.expected) << k.what;
    }
}

// The run refuses a row whose typed size cannot be applied, before any
// encoder starts; everything else the builder can apply.
TEST(EncodeOptions, TypedSizesThatCannotBeAppliedAreKnownBeforehand) {
    const struct { bool other; int index; const char* text; bool applies; } cases[] = {
        {true, -1, "500x300", true},  {true, -1, "50%", true},     {true, -1, "?x721", true},
        {true, -1, "", true},         {true, -1, "保持原尺寸", true}, {true, 13, "1280x720", true},
        {true, 5, "50%", true},       {true, 0, "保持原尺寸", true}, {true, -1, "500", false},
        {true, -1, "abc", false},     {true, -1, "500x-2", false}, {true, -1, "0%", false},
        {false, -1, "abc", true},  // stream copy applies no size at all
    };
    for (const auto& c : cases) {
        EncodeControls k = keepAll();
        k.other = c.other;
        k.sizeIndex = c.index;
        k.sizeText = QString::fromUtf8(c.text);
        EXPECT_EQ(SizeTextApplies(k), c.applies) << c.text;
        // The builder agrees with the check wherever the source can be measured.
        if (c.other) {
            FakeSource src = source("1920", "1080");
            EXPECT_EQ(BuildEncodeOptions(k, src.probes()).has_value(), c.applies) << c.text;
        }
    }
}

TEST(EncodeOptions, ReadsTheWindowControls) {
    FormFixture fx;
    ASSERT_TRUE(fx.Load());
    Form1& f = *fx.form;
    f.ChOther->setChecked(false);
    EXPECT_EQ(BuildEncodeOptions(f, "/nowhere.mp4"), " -q:v 0 -q:a 0 -c copy -y ");

    f.ChOther->setChecked(true);
    f.CmbSize->SetListIndex(13);  // 1280x720
    f.CmbVBit->SetText("800");
    f.CmbFrms->SetListIndex(2);  // " 25"
    f.CmbABit->SetListIndex(5);  // 128
    f.CmbARate->SetListIndex(0);
    f.CmbComp->SetListIndex(23);
    EXPECT_EQ(BuildEncodeOptions(f, "/nowhere.mp4"),
              " -s 1280:720 " + rate(800) + " -r  25  -b:a 128k  -preset fast -q:v 0  -y ");

    // A source that cannot be probed fails a relative size.
    f.CmbSize->SetListIndex(5);
    EXPECT_EQ(BuildEncodeOptions(f, "/nowhere.mp4"), std::nullopt);
}

TEST(EncodeOptions, ProbesTheRealSource) {
    QTemporaryDir dir;
    const QString clip = dir.path() + "/clip.mp4";
    ASSERT_TRUE(media::MakeVideo(clip, 320, 240, 25, 1));
    QString w, h;
    if (!probe::GetVideoSizeAndBitrate(clip, w, h)) GTEST_SKIP() << "the media probe cannot read sizes yet";

    FormFixture fx;
    ASSERT_TRUE(fx.Load());
    Form1& f = *fx.form;
    f.ChOther->setChecked(true);
    f.CmbVBit->SetListIndex(0);
    f.CmbFrms->SetListIndex(0);
    f.CmbComp->SetListIndex(23);
    f.CmbSize->SetListIndex(5);  // 50%
    EXPECT_EQ(BuildEncodeOptions(f, clip), " -s 160:120 " + kTail);
    f.CmbSize->SetText("?x480");
    EXPECT_EQ(BuildEncodeOptions(f, clip), " -s 640:480 " + kTail);

    // A picture turned a quarter is sized as it is shown: 240 wide, 320 high.
    const QString turned = dir.path() + "/turned.mp4";
    ASSERT_TRUE(media::Ffmpeg({"-i", clip, "-c", "copy", "-metadata:s:v:0", "rotate=90", turned}));
    f.CmbSize->SetText("?x640");
    EXPECT_EQ(BuildEncodeOptions(f, turned), " -s 480:640 " + kTail);
    f.CmbSize->SetListIndex(5);
    EXPECT_EQ(BuildEncodeOptions(f, turned), " -s 120:160 " + kTail);
}
