#include "batch/CoverCommands.h"

#include <gtest/gtest.h>

using covercmd::Which;

namespace {

// The source's streams as every MP4 command maps them.
const QString kMap = "-map 0:V? -map 0:a? -map 0:s? -map 0:d?";
// What every MP4 tail adds: the source's tags kept, no file-wide timecode.
const QString kKeep = "-map_metadata 0 -metadata timecode= ";
// What every MP3 tail adds: the picture is the front cover.
const QString kFront = "-metadata:s:v:0 comment=\"Cover (front)\" ";

covercmd::Inputs Inputs(bool saveAs, bool hardware, bool mp3 = false) {
    covercmd::Inputs in;
    in.sourceFile = "/v/a b.mp4";
    in.commandCover = "/p/Cover.png";
    in.encodeOptions = " -q:v 0 -q:a 0 -c copy -y ";
    in.runOutputFile = "/o/x.mp4";
    in.saveAs = saveAs;
    in.hardware = hardware;
    in.mechanism = mp3 ? container::Mechanism::Mp3 : container::Mechanism::Mp4;
    return in;
}

struct TailCase {
    bool saveAs;
    bool hardware;
    Which which;
    QString mp3;
    QString mp4;  // blanks, (no crop), tail
};

}  // namespace

TEST(CoverCommands, TailsKeepEveryBlankOfTheirCommand) {
    const std::vector<TailCase> cases{
        {true, true, Which::Software, " -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ",
         "  -map 1 " + kMap + " -c copy -disposition:0 attached_pic -y "},
        {true, true, Which::Qsv, "  -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ",
         "    -map 1 " + kMap + " -c copy -disposition:0  attached_pic "},
        {true, true, Which::Cuvid, "  -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ",
         "   -map 1 " + kMap + " -c copy -disposition:0  attached_pic "},
        {true, false, Which::Software, "   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ",
         "   -map 1 " + kMap + " -c copy -disposition:0   attached_pic "},
        {false, true, Which::Software, "   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y  ",
         "  -map 1 " + kMap + " -c copy -disposition:0 attached_pic  "},
        {false, true, Which::Qsv, "   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ",
         "   -map 1 " + kMap + " -c copy -disposition:0 attached_pic "},
        {false, true, Which::Cuvid, "   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ",
         "  -map 1 " + kMap + " -c copy -disposition:0 attached_pic "},
        {false, false, Which::Software, "   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ",
         "  -map 1 " + kMap + " -c copy -disposition:0 attached_pic "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QString("saveAs %1 hardware %2 which %3").arg(c.saveAs).arg(c.hardware).arg(int(c.which)).toStdString());
        EXPECT_EQ(covercmd::Tail(Inputs(c.saveAs, c.hardware, true), c.which), c.mp3 + kFront);
        EXPECT_EQ(covercmd::Tail(Inputs(c.saveAs, c.hardware, false), c.which), c.mp4 + kKeep);
    }
}

TEST(CoverCommands, SkeletonOrdersPrefixTrimInputsTailOptionsAndOutput) {
    covercmd::Inputs in = Inputs(false, true);
    EXPECT_EQ(covercmd::Build(in, Which::Software).Text(),
              " -threads 2  -i \"/v/a b.mp4\" -i \"/p/Cover.png\"  -map 1 " + kMap +
                  " -c copy -disposition:0 attached_pic  " + kKeep + " -q:v 0 -q:a 0 -c copy -y  \"/o/x.mp4\"");
    EXPECT_EQ(covercmd::Build(in, Which::Qsv).Text(),
              "  -c:v h264_qsv  -threads 2  -i \"/v/a b.mp4\" -i \"/p/Cover.png\"   -map 1 " + kMap +
                  " -c copy -disposition:0 attached_pic " + kKeep + " -q:v 0 -q:a 0 -c copy -y  \"/o/x.mp4\"");
    EXPECT_EQ(covercmd::Build(in, Which::Cuvid).Text(),
              " -c:v h264_cuvid   -noautorotate  -threads 2  -i \"/v/a b.mp4\" -i \"/p/Cover.png\"  -map 1 " + kMap +
                  " -c copy -disposition:0 attached_pic " + kKeep + " -q:v 0 -q:a 0 -c copy -y  \"/o/x.mp4\"");

    // The trim stands before the inputs; the crop between the table's blanks and the tail.
    in.timeCutArgs = "-ss 5 -t 55.5 ";
    in.cropArgs = " -vf crop=x=1:y=2:w=316:h=234 ";
    EXPECT_EQ(covercmd::Build(in, Which::Qsv).Text(),
              "  -c:v h264_qsv -ss 5 -t 55.5  -threads 2  -i \"/v/a b.mp4\" -i \"/p/Cover.png\"  -vf "
              "crop=x=1:y=2:w=316:h=234   -map 1 " +
                  kMap + " -c copy -disposition:0 attached_pic " + kKeep + " -q:v 0 -q:a 0 -c copy -y  \"/o/x.mp4\"");

    // MP3 commands never carry the crop.
    in.mechanism = container::Mechanism::Mp3;
    in.hardware = false;
    in.timeCutArgs.clear();
    EXPECT_EQ(covercmd::Build(in, Which::Software).Text(),
              " -threads 2  -i \"/v/a b.mp4\" -i \"/p/Cover.png\"   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y " +
                  kFront + " -q:v 0 -q:a 0 -c copy -y  \"/o/x.mp4\"");
}

TEST(CoverCommands, PathsStayWholeArgumentsWhateverTheyHold) {
    covercmd::Inputs in = Inputs(true, false);
    in.sourceFile = "/v/say \"-y\" now.mp4";
    const QStringList args = covercmd::Build(in, Which::Software).Arguments();
    ASSERT_GE(args.size(), 5);
    EXPECT_EQ(args.mid(0, 5), (QStringList{"-threads", "2", "-i", "/v/say \"-y\" now.mp4", "-i"}));
    EXPECT_EQ(args.last(), "/o/x.mp4");
    EXPECT_TRUE(args.contains("0:V?"));
    for (int i = 0; i + 1 < args.size(); ++i)  // no "-map 0": the old cover stays behind
        EXPECT_FALSE(args[i] == "-map" && args[i + 1] == "0");
}

TEST(CoverCommands, CommandSetAndFirstAttempt) {
    struct Case {
        bool other, canAcc, speed, hardware;
    };
    for (const Case c : {Case{false, true, true, false}, Case{true, false, false, false}, Case{true, true, false, true},
                         Case{true, false, true, true}})
        EXPECT_EQ(covercmd::UsesHardwareSet(c.other, c.canAcc, c.speed), c.hardware);

    const covercmd::Inputs hw = Inputs(false, true);
    for (int acc : {-1, 0, 1}) {
        const covercmd::Commands cmds = covercmd::BuildAll(hw, acc);
        EXPECT_EQ(cmds.firstIsCuvid, acc == 1);
        EXPECT_EQ(cmds.first, acc == 1 ? cmds.cuvid : cmds.qsv) << acc;
        EXPECT_TRUE(cmds.first.Text().startsWith(acc == 1 ? covercmd::CuvidPrefix : covercmd::QsvPrefix));
    }
    const covercmd::Commands sw = covercmd::BuildAll(Inputs(false, false), 1);
    EXPECT_EQ(sw.first, sw.software);
    EXPECT_TRUE(sw.qsv.IsEmpty());
    EXPECT_TRUE(sw.cuvid.IsEmpty());
    EXPECT_TRUE(sw.first.Text().startsWith(" -threads 2"));
}

TEST(CoverCommands, ReencodingDropsStreamCopyAndKeepsTheCoverAPicture) {
    using container::Mechanism;
    EXPECT_FALSE(covercmd::Reencodes(Mechanism::Mp4, "", false));
    EXPECT_TRUE(covercmd::Reencodes(Mechanism::Mp4, " -vf crop=x=0:y=0:w=64:h=64 ", false));
    EXPECT_TRUE(covercmd::Reencodes(Mechanism::Matroska, "", true));
    EXPECT_FALSE(covercmd::Reencodes(Mechanism::Mp3, " -vf crop=x=0:y=0:w=64:h=64 ", true));

    covercmd::Inputs in = Inputs(false, false);
    in.cropArgs = " -vf crop=x=1:y=2:w=316:h=234 ";
    const QString text = covercmd::Reencoding(covercmd::Build(in, Which::Software)).Text();
    EXPECT_EQ(text, " -threads 2  -i \"/v/a b.mp4\" -i \"/p/Cover.png\"  -vf crop=x=1:y=2:w=316:h=234  -map 1 " + kMap +
                        " -c:v:0 png -c:s copy -c:d copy -c:t copy -disposition:0 attached_pic " + kKeep +
                        " -q:v 0 -q:a 0  -c:s copy -c:d copy -c:t copy  -y  \"/o/x.mp4\"");
    EXPECT_FALSE(text.contains("-c copy"));

    // A path holding "-c copy" is left alone.
    in.sourceFile = "/v/-c copy.mp4";
    EXPECT_TRUE(covercmd::Reencoding(covercmd::Build(in, Which::Software)).Arguments().contains("/v/-c copy.mp4"));
}
