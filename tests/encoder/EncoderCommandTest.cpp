#include "encoder/EncoderCommand.h"
#include "support/Printing.h"

#include <gtest/gtest.h>

namespace {

std::string show(const QStringList& l) { return ("[" + l.join("|") + "]").toStdString(); }

}  // namespace

TEST(SplitCommandLine, QuotesGroupBlanksSeparate) {
    const struct {
        QString text;
        QStringList args;
    } cases[] = {
        {"", {}},
        {"   ", {}},
        {"-i \"a b.mp4\" -y", {"-i", "a b.mp4", "-y"}},
        {"  -threads 2  -i x", {"-threads", "2", "-i", "x"}},
        {"a\tb", {"a", "b"}},
        {"\"\"", {""}},
        {"-ss  -vframes", {"-ss", "-vframes"}},
        {"x\"\" y", {"x", "y"}},
        {"a\"b c\"d", {"ab cd"}},
        {"\"open  ended", {"open  ended"}},
        {"'single quotes' stay", {"'single", "quotes'", "stay"}},
        {"C:\\dir\\ \"q\\\"", {"C:\\dir\\", "q\\"}},
        {" -s 960:540  -r  25  -preset fast -crf 23 -q:v 0 -q:a 0  -acodec copy  -y ",
         {"-s", "960:540", "-r", "25", "-preset", "fast", "-crf", "23", "-q:v", "0", "-q:a", "0", "-acodec", "copy",
          "-y"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.text), c.args) << c.text.toStdString();
}

TEST(EncoderCommand, TextIsExactAndPathsAreQuoted) {
    EncoderCommand cmd;
    cmd.Add(" -threads 2  -i ").AddPath("/v/a b.mp4").Add(" -i ").AddPath("/p/c.png").Add("  -map 1 -map 0 ");
    cmd.Add(" -q:v 0 -q:a 0 -c copy -y ").Add(" ").AddPath("/o/out.mp4");
    EXPECT_EQ(cmd.Text(),
              " -threads 2  -i \"/v/a b.mp4\" -i \"/p/c.png\"  -map 1 -map 0  -q:v 0 -q:a 0 -c copy -y  \"/o/out.mp4\"");
    EXPECT_EQ(cmd.Arguments(), (QStringList{"-threads", "2", "-i", "/v/a b.mp4", "-i", "/p/c.png", "-map", "1", "-map",
                                            "0", "-q:v", "0", "-q:a", "0", "-c", "copy", "-y", "/o/out.mp4"}));
    // For ordinary names the argument list is the text split by the usual rules.
    EXPECT_EQ(cmd.Arguments(), SplitCommandLine(cmd.Text()));
    EXPECT_FALSE(cmd.IsEmpty());
    EXPECT_TRUE(EncoderCommand().IsEmpty());
    EXPECT_TRUE(EncoderCommand().Arguments().isEmpty());
}

TEST(EncoderCommand, EveryPathStaysOneArgumentWhateverItHolds) {
    const QStringList names{
        "/m/a\" -f null -y \"x.mp4",
        "/m/it's.mp4",
        "/m/two  blanks .mp4",
        "/m/-rf.mp4",
        "/m/封面 测试.mp4",
        "/m/😀 emoji.mp4",
        "/m/tab\there.mp4",
        "/m/\"\".mp4",
        "/m/back\\slash\\\".mp4",
        "/m/-c copy.mp4",
    };
    for (const QString& name : names) {
        EncoderCommand cmd;
        cmd.Add("-i ").AddPath(name).Add(" -y -q:v 0 -c copy ").AddPath(name + ".out");
        EXPECT_EQ(cmd.Arguments(), (QStringList{"-i", name, "-y", "-q:v", "0", "-c", "copy", name + ".out"}))
            << name.toStdString() << " -> " << show(cmd.Arguments());
        EXPECT_EQ(cmd.Text(), "-i \"" + name + "\" -y -q:v 0 -c copy \"" + name + ".out\"");
    }
    // Without the path pieces the first name would have split into options.
    EXPECT_EQ(SplitCommandLine("-i \"/m/a\" -f null -y \"x.mp4\""),
              (QStringList{"-i", "/m/a", "-f", "null", "-y", "x.mp4"}));
}

TEST(EncoderCommand, PathsJoinTheTextTheyTouch) {
    const struct {
        EncoderCommand cmd;
        QStringList args;
    } cases[] = {
        {EncoderCommand("x=").AddPath("a b"), {"x=a b"}},
        {EncoderCommand().AddPath("a").AddPath("b").Add(" c"), {"ab", "c"}},
        {EncoderCommand().AddPath(""), {""}},
        {EncoderCommand("-i ").AddPath("").Add(" -y"), {"-i", "", "-y"}},
        // A relative path that would read as an option is made explicit.
        {EncoderCommand("-i ").AddPath("-lead.mp4"), {"-i", "./-lead.mp4"}},
        {EncoderCommand("x").AddPath("-in.mp4"), {"x-in.mp4"}},
    };
    for (const auto& c : cases) EXPECT_EQ(c.cmd.Arguments(), c.args) << c.cmd.Text().toStdString();
}

TEST(EncoderCommand, ReplacesOnlyInTheLiteralText) {
    EncoderCommand opts(" -q:v 0 -q:a 0 -c copy -y ");
    EncoderCommand cmd;
    cmd.Add(" -threads 2  -i ").AddPath("/v/-c copy.mp4").Add(" -i ").AddPath("/c.png");
    cmd.Add("  -map 1 -map 0 -c copy -disposition:0 attached_pic ").Add(opts).Add(" ").AddPath("/o.mp4");
    cmd.ReplaceInLiterals("-c copy", " ");
    EXPECT_EQ(cmd.Text(), " -threads 2  -i \"/v/-c copy.mp4\" -i \"/c.png\"  -map 1 -map 0   -disposition:0 "
                          "attached_pic  -q:v 0 -q:a 0   -y  \"/o.mp4\"");
    EXPECT_EQ(cmd.Arguments(), (QStringList{"-threads", "2", "-i", "/v/-c copy.mp4", "-i", "/c.png", "-map", "1",
                                            "-map", "0", "-disposition:0", "attached_pic", "-q:v", "0", "-q:a", "0",
                                            "-y", "/o.mp4"}));
}

TEST(EncoderCommand, CommandsAppendPieceByPiece) {
    EncoderCommand head("-i ");
    head.AddPath("/a b.mp4");
    EncoderCommand tail(" -y ");
    tail.AddPath("/c d.mp4");
    EncoderCommand joined;
    joined.Add(head).Add(tail);
    EXPECT_EQ(joined.Text(), "-i \"/a b.mp4\" -y \"/c d.mp4\"");
    EXPECT_EQ(joined.Arguments(), (QStringList{"-i", "/a b.mp4", "-y", "/c d.mp4"}));
    EncoderCommand same("-i ");
    same.AddPath("/a b.mp4").Add(" -y ").AddPath("/c d.mp4");
    EXPECT_EQ(joined, same);
    // The same text from a path piece and from a literal are different commands.
    EXPECT_NE(EncoderCommand("\"/a\""), EncoderCommand().AddPath("/a"));
}
