// Judging a written file by what it holds, on facts made up for each case.
#include "batch/OpeningClip.h"
#include "batch/ReadBack.h"
#include "support/TaggedMp3.h"

#include <QString>
#include <functional>
#include <gtest/gtest.h>

using container::Mechanism;
using readback::Expectation;
using readback::Facts;

namespace {

Facts Video(Mechanism m, double seconds = 10) {
    Facts f;
    f.mechanism = m;
    f.streams.opened = true;
    f.streams.video = 1;
    f.streams.audio = 1;
    f.streams.duration = seconds;
    f.mp4.readable = f.mp4.complete = true;
    f.matroska.readable = f.matroska.complete = true;
    return f;
}

Facts WithCover(Facts f) {
    f.mp4.covers += 1;
    f.matroska.attachments.push_back({"cover.png", "image/png", 100, 5000});
    return f;
}

Expectation Lasting(double seconds) {
    Expectation e;
    e.duration = seconds;
    return e;
}

}  // namespace

TEST(ReadBack, AVideoCountsOnlyWithItsStreamsItsLengthAndOneCover) {
    for (const Mechanism m : {Mechanism::Mp4, Mechanism::QuickTime, Mechanism::Matroska}) {
        SCOPED_TRACE(int(m));
        const Facts source = Video(m);
        const Facts good = WithCover(Video(m, 10.04));
        EXPECT_TRUE(readback::Judge(source, good, Lasting(10)));

        Facts f = good;
        f.streams.opened = false;
        EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
        f = good;
        f.mp4.complete = f.matroska.complete = false;  // cut off at the end
        EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
        for (int kind = 0; kind < 3; ++kind) {
            f = good;
            (kind == 0 ? f.streams.video : kind == 1 ? f.streams.audio : f.streams.text) += 1;
            EXPECT_FALSE(readback::Judge(source, f, Lasting(10))) << "stream kind " << kind;
        }
        f = good;
        f.streams.duration = 9.7;
        EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
        f.streams.duration = 60;  // timing run away
        EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
        // Without a cover, or with two.
        EXPECT_FALSE(readback::Judge(source, Video(m, 10), Lasting(10)));
        f = WithCover(good);
        EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
        // A file with no stream at all is nothing.
        f = good;
        f.streams.video = f.streams.audio = 0;
        Facts empty = source;
        empty.streams.video = empty.streams.audio = 0;
        EXPECT_FALSE(readback::Judge(empty, f, Lasting(10)));
    }
}

TEST(ReadBack, ToleranceGrowsWithLength) {
    EXPECT_DOUBLE_EQ(readback::DurationTolerance(2), 0.25);
    EXPECT_DOUBLE_EQ(readback::DurationTolerance(3600), 36);
    const Facts source = Video(Mechanism::Mp4, 3600);
    Facts out = WithCover(Video(Mechanism::Mp4, 3620));
    EXPECT_TRUE(readback::Judge(source, out, Lasting(3600)));
    out.streams.duration = 3500;
    EXPECT_FALSE(readback::Judge(source, out, Lasting(3600)));
    // A trim sets the least length; copied streams may run on to the source's.
    Expectation trimmed = Lasting(30);
    trimmed.trimmed = true;
    for (const double d : {29.8, 30.1, 33.0, 3600.0}) {
        out.streams.duration = d;
        EXPECT_TRUE(readback::Judge(source, out, trimmed)) << d;
    }
    for (const double d : {29.6, 3700.0}) {
        out.streams.duration = d;
        EXPECT_FALSE(readback::Judge(source, out, trimmed)) << d;
    }
    // An unknown length is not judged.
    out.streams.duration = 30.1;
    EXPECT_TRUE(readback::Judge(source, out, Lasting(0)));
}

TEST(ReadBack, MatroskaKeepsEveryOtherAttachmentAndNamesItsCoverByConvention) {
    Facts source = Video(Mechanism::Matroska);
    source.matroska.attachments = {{"font.ttf", "application/x-truetype-font", 0, 300},
                                   {"cover.jpg", "image/jpeg", 0, 900},
                                   {"small_cover.jpg", "image/jpeg", 0, 90}};
    Facts out = Video(Mechanism::Matroska);
    out.matroska.attachments = {{"font.ttf", "application/x-truetype-font", 0, 300}, {"cover.png", "image/png", 0, 700}};
    EXPECT_TRUE(readback::Judge(source, out, Lasting(10)));

    Facts f = out;
    f.matroska.attachments[0].dataSize = 299;  // the font changed
    EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
    f = out;
    f.matroska.attachments.erase(f.matroska.attachments.begin());  // lost
    EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
    f = out;
    f.matroska.attachments[1] = {"Cover.png", "image/png", 0, 700};
    EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
    f.matroska.attachments[1] = {"cover.png", "image/jpeg", 0, 700};
    EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
    f.matroska.attachments[1] = {"cover.png", "image/png", 0, 0};
    EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
    f = out;
    f.matroska.attachments.push_back({"small_cover.jpg", "image/jpeg", 0, 90});  // an old one stayed
    EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
}

TEST(ReadBack, Mp3KeepsEveryFrameEveryByteAroundItsTagAndGetsOneFrontCover) {
    namespace id3 = media::id3;
    const QByteArray chosen = "new picture", old = "old picture";
    const auto tagOf = [](int major, unsigned char flags, const QList<QByteArray>& frames) {
        return probe::ReadId3v2(id3::Bytes({major, flags, {}, frames, 16}));
    };
    const QByteArray title = id3::Frame(3, "TIT2", id3::Utf16("歌")), comment = id3::Frame(3, "COMM", "\0engx\0text");
    const QByteArray back = id3::Frame(3, "APIC", id3::Picture(3, "image/png", 4, "back"));
    const auto front = [](const QByteArray& picture, int type = 3) {
        return id3::Frame(3, "APIC", id3::Picture(3, "image/jpeg", type, picture));
    };
    Facts source;
    source.mechanism = Mechanism::Mp3;
    source.streams.opened = true;
    source.streams.audio = 1;
    source.streams.duration = 3;
    source.mp3.readable = source.mp3.id3v2 = true;
    source.mp3.frames = 115;
    source.mp3.partialTail = 17;
    source.mp3.id3v1 = source.mp3.ape = true;
    source.mp3.size = 60000;
    source.mp3.audioStart = 2000;
    source.mp3.trailingStart = 59700;
    source.mp3.audioCrc = 0x1234;
    source.mp3.trailingCrc = 0x5678;
    source.mp3.tag = tagOf(3, 0, {title, front(old), back, front(old), comment});
    ASSERT_TRUE(source.mp3.tag.walkable);
    Facts out = source;
    out.mp3.tag = tagOf(3, 0, {title, front(chosen), back, comment});
    // A larger tag in front moves everything after it.
    out.mp3.size += 1000;
    out.mp3.audioStart += 1000;
    out.mp3.trailingStart += 1000;
    Expectation whole = Lasting(3);
    whole.picture = chosen;
    EXPECT_TRUE(readback::Judge(source, out, whole));

    const std::vector<std::pair<const char*, std::function<void(Facts&)>>> faults{
        {"a frame fewer", [](Facts& f) { f.mp3.frames -= 1; }},
        {"the cut last frame whole", [](Facts& f) { f.mp3.partialTail = 0; }},
        {"audio bytes changed", [](Facts& f) { f.mp3.audioCrc += 1; }},
        {"audio longer", [](Facts& f) { f.mp3.trailingStart += 1; }},
        {"tags at the end changed", [](Facts& f) { f.mp3.trailingCrc += 1; }},
        {"tags at the end longer", [](Facts& f) { f.mp3.size += 1; }},
        {"no ID3v1", [](Facts& f) { f.mp3.id3v1 = false; }},
        {"no APE tag", [](Facts& f) { f.mp3.ape = false; }},
        {"a tag cut off", [](Facts& f) { f.mp3.tagsWhole = false; }},
        {"no ID3v2 tag", [](Facts& f) { f.mp3.id3v2 = false; }},
        {"no front cover", [&](Facts& f) { f.mp3.tag = tagOf(3, 0, {title, back, comment}); }},
        {"the old cover", [&](Facts& f) { f.mp3.tag = tagOf(3, 0, {title, front(old), back, comment}); }},
        {"two front covers", [&](Facts& f) { f.mp3.tag = tagOf(3, 0, {title, front(chosen), back, front(chosen), comment}); }},
        {"the cover as \"other\"", [&](Facts& f) { f.mp3.tag = tagOf(3, 0, {title, front(chosen, 0), back, comment}); }},
        {"the back cover lost", [&](Facts& f) { f.mp3.tag = tagOf(3, 0, {title, front(chosen), comment}); }},
        {"a frame changed", [&](Facts& f) { f.mp3.tag = tagOf(3, 0, {title, front(chosen), back, comment + "!"}); }},
        {"a frame added", [&](Facts& f) { f.mp3.tag = tagOf(3, 0, {title, front(chosen), back, comment, title}); }},
        {"frames reordered", [&](Facts& f) { f.mp3.tag = tagOf(3, 0, {title, front(chosen), comment, back}); }},
        {"another version", [&](Facts& f) { f.mp3.tag = tagOf(4, 0, {title, front(chosen), back, comment}); }},
        {"another flag", [&](Facts& f) { f.mp3.tag = tagOf(3, 0x20, {title, front(chosen), back, comment}); }},
        {"frames not walkable", [](Facts& f) { f.mp3.tag.walkable = false; }},
    };
    for (const auto& [what, fault] : faults) {
        Facts f = out;
        fault(f);
        EXPECT_FALSE(readback::Judge(source, f, whole)) << what;
    }
    // A source the reader cannot walk proves nothing about what was kept.
    Facts unwalked = source;
    unwalked.mp3.tag.walkable = false;
    EXPECT_FALSE(readback::Judge(unwalked, out, whole));

    // Trimmed: fewer frames and the encoder's audio, but the same tags.
    Expectation trimmed = Lasting(1);
    trimmed.trimmed = true;
    trimmed.picture = chosen;
    Facts cut = out;
    cut.mp3.frames = 40;
    cut.mp3.partialTail = 0;
    cut.mp3.audioCrc = 0x9999;
    cut.mp3.trailingStart = cut.mp3.audioStart + 20000;
    cut.mp3.size = cut.mp3.trailingStart + 300;
    cut.streams.duration = 1;
    EXPECT_TRUE(readback::Judge(source, cut, trimmed));
    for (const auto& [what, fault] : faults) {
        const QString w = what;
        if (w.startsWith("a frame fewer") || w.startsWith("the cut") || w.startsWith("audio")) continue;
        Facts f = cut;
        fault(f);
        EXPECT_FALSE(readback::Judge(source, f, trimmed)) << "trimmed, " << what;
    }

    // A file without a tag gets an ID3v2.3 tag holding the cover alone.
    Facts bare = source;
    bare.mp3.tag = {};
    bare.mp3.id3v2 = false;
    Facts tagged = out;
    tagged.mp3.tag = tagOf(3, 0, {front(chosen)});
    EXPECT_TRUE(readback::Judge(bare, tagged, whole));
    tagged.mp3.tag = tagOf(4, 0, {front(chosen)});
    EXPECT_FALSE(readback::Judge(bare, tagged, whole));
}

TEST(ReadBack, NothingCountsForAContainerWithoutACoverMechanism) {
    Facts f = WithCover(Video(Mechanism::None));
    EXPECT_FALSE(readback::Judge(f, f, Lasting(10)));
}

TEST(ReadBack, AnOpeningClipHasNoCoverTag) {
    const Facts source = Video(Mechanism::Mp4);
    Expectation e = Lasting(10.5);
    e.covers = 0;
    EXPECT_TRUE(readback::Judge(source, Video(Mechanism::Mp4, 10.5), e));
    EXPECT_FALSE(readback::Judge(source, WithCover(Video(Mechanism::Mp4, 10.5)), e));
}

TEST(ReadBack, AJoinLastsTheFilmPlusTheHeadAndKeepsItsSync) {
    Facts source = Video(Mechanism::Mp4, 5);
    source.streams.videoDurations = {5.0};
    source.streams.audioDurations = {4.98};
    const auto joined = [](double seconds, double video, double audio) {
        Facts f = Video(Mechanism::Mp4, seconds);
        f.streams.videoDurations = {video};
        f.streams.audioDurations = {audio};
        return f;
    };
    const Expectation e = openingclip::JoinExpectation(source.streams, source.streams, 0);
    EXPECT_TRUE(e.joined);
    EXPECT_EQ(e.covers, 0);
    EXPECT_DOUBLE_EQ(e.duration, 5.5);
    EXPECT_TRUE(readback::Judge(source, joined(5.53, 5.53, 5.51), e));
    EXPECT_TRUE(readback::Judge(source, joined(5.68, 5.68, 5.6), e));
    // Held to 0.2 s whatever a long film's own tolerance would allow.
    EXPECT_FALSE(readback::Judge(source, joined(5.75, 5.75, 5.73), e));
    EXPECT_FALSE(readback::Judge(source, joined(5.28, 5.28, 5.26), e));
    // Pictures spaced too far apart: the video runs on past the sound.
    EXPECT_FALSE(readback::Judge(source, joined(5.6, 5.6, 5.3), e));
    EXPECT_FALSE(readback::Judge(source, joined(32.3, 31.97, 5.53), e));
    // A cover tag is no opening clip.
    EXPECT_FALSE(readback::Judge(source, WithCover(joined(5.5, 5.5, 5.48)), e));

    // A film that ends its sound early keeps doing so.
    Facts gap = source;
    gap.streams.audioDurations = {4.0};
    const Expectation g = openingclip::JoinExpectation(gap.streams, gap.streams, 0);
    EXPECT_TRUE(readback::Judge(gap, joined(5.5, 5.5, 4.52), g));
    EXPECT_FALSE(readback::Judge(gap, joined(5.5, 5.5, 5.48), g));

    // Trimmed: the kept part plus the head, whatever the source lasts.
    const Expectation t = openingclip::JoinExpectation(source.streams, source.streams, 2.5);
    EXPECT_TRUE(t.trimmed);
    EXPECT_DOUBLE_EQ(t.duration, 3.0);
    EXPECT_TRUE(readback::Judge(source, joined(3.05, 3.05, 3.03), t));
    EXPECT_FALSE(readback::Judge(source, joined(5.5, 5.5, 5.48), t));

    // Without a film behind the head, or a length, nothing can pass.
    probe::StreamFacts none;
    EXPECT_FALSE(readback::Judge(source, joined(0.5, 0.5, 0.5), openingclip::JoinExpectation(source.streams, none, 0)));
    probe::StreamFacts unstated = source.streams;
    unstated.duration = 0;
    EXPECT_FALSE(readback::Judge(source, joined(0.5, 0.5, 0.5), openingclip::JoinExpectation(unstated, unstated, 0)));
}

TEST(ReadBack, AJoinsPicturesFollowEachOtherWithoutAHoleAndDecodeInOrder) {
    const Facts source = Video(Mechanism::Mp4, 5);
    Expectation e = openingclip::JoinExpectation(source.streams, source.streams, 0);
    e.framesChecked = true;
    e.shortestFrame = e.longestFrame = 0.04;
    e.frameTick = 1 / 12800.0;
    // 25 fps with two B-frames: shown I P B B ..., decoded in order.
    const auto joined = [](const std::vector<double>& shown) {
        Facts f = Video(Mechanism::Mp4, 5.5);
        f.frames.read = true;
        f.frames.tick = 1 / 12800.0;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            f.frames.shown.push_back(shown[i]);
            f.frames.decoded.push_back(i * 0.04 - 0.08);
        }
        return f;
    };
    std::vector<double> times;
    for (int i = 0; i < 137; i += 3) {
        times.push_back(i * 0.04);
        times.push_back((i + 2) * 0.04);
        times.push_back((i + 1) * 0.04);
    }
    EXPECT_TRUE(readback::Judge(source, joined(times), e));

    // The film begins 45 ms after the head's last picture, or laid 10 ms
    // over it.
    for (const double shift : {0.005, -0.05}) {
        std::vector<double> seam = times;
        for (double& t : seam)
            if (t > 0.5) t += shift;
        EXPECT_FALSE(readback::Judge(source, joined(seam), e)) << shift;
    }
    // A tick off is the container's rounding.
    std::vector<double> rounded = times;
    rounded[10] += 1 / 12800.0;
    EXPECT_TRUE(readback::Judge(source, joined(rounded), e));

    // Decode times that stand still or go back.
    Facts back = joined(times);
    back.frames.decoded[20] = back.frames.decoded[19];
    EXPECT_FALSE(readback::Judge(source, back, e));
    // A picture shown before one decoded seventeen pictures earlier.
    Facts early = joined(times);
    early.frames.decoded.clear();  // Matroska states none
    std::swap(early.frames.shown[3], early.frames.shown[30]);
    EXPECT_FALSE(readback::Judge(source, early, e));

    // Picture times that cannot be read prove nothing.
    Facts unread = joined(times);
    unread.frames.read = false;
    EXPECT_FALSE(readback::Judge(source, unread, e));
    // A film of one picture sets no spacing, the order still counts.
    e.longestFrame = e.shortestFrame = 0;
    EXPECT_TRUE(readback::Judge(source, joined({0, 0.3, 0.1}), e));
    EXPECT_FALSE(readback::Judge(source, back, e));
}

TEST(ReadBack, TheCreationTimeAndTheChaptersComeThrough) {
    for (const Mechanism m : {Mechanism::Mp4, Mechanism::QuickTime, Mechanism::Matroska}) {
        SCOPED_TRACE(int(m));
        Facts source = Video(m);
        source.mp4.creationTime = 1620284889;
        source.mp4.chapters = 2;
        source.matroska.hasDate = true;
        source.matroska.date = 1620284889;
        source.matroska.chapters = 2;
        const Facts good = WithCover(source);
        EXPECT_TRUE(readback::Judge(source, good, Lasting(10)));

        Facts f = good;
        f.mp4.creationTime = f.matroska.date = 0;  // the date wiped
        f.matroska.hasDate = m != Mechanism::Matroska;
        EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
        f = good;
        f.mp4.creationTime += 3600;
        f.matroska.date += 3600;
        EXPECT_FALSE(readback::Judge(source, f, Lasting(10)));
        for (const int chapters : {0, 1, 4}) {
            f = good;
            f.mp4.chapters = f.matroska.chapters = chapters;
            EXPECT_FALSE(readback::Judge(source, f, Lasting(10))) << chapters;
            // A trim may cut chapters away; the date stays all the same.
            Expectation trimmed = Lasting(10);
            trimmed.trimmed = true;
            EXPECT_TRUE(readback::Judge(source, f, trimmed)) << chapters;
            f.mp4.creationTime = f.matroska.date = 5;
            EXPECT_FALSE(readback::Judge(source, f, trimmed)) << chapters;
        }
        // A second picture in an MP4's cover entry cannot come through.
        const Facts twoPictures = WithCover(WithCover(source));
        EXPECT_EQ(readback::Judge(twoPictures, good, Lasting(10)), m == Mechanism::Matroska);
    }
}

TEST(ReadBack, WhatAUserKeepsAboutAFileComesThroughAsItWas) {
    Expectation trimmed = Lasting(10);
    trimmed.trimmed = true;
    // MP4: the metadata boxes, byte for byte.
    Facts source = Video(Mechanism::Mp4);
    source.mp4.metadata = {{"udta/FIRM", "HD9"},
                           {"udta/chpl", "two"},
                           {"udta/meta/ilst/----", "gain"},
                           {"meta/keys", "make"},
                           {"trak a1/udta", "Commentary"}};
    const Facts mp4 = WithCover(source);
    EXPECT_TRUE(readback::Judge(source, mp4, Lasting(10)));
    const std::vector<std::pair<const char*, std::function<void(Facts&)>>> boxFaults{
        {"a box lost", [](Facts& f) { f.mp4.metadata.erase(f.mp4.metadata.begin()); }},
        {"a box changed", [](Facts& f) { f.mp4.metadata[2].second = "gain!"; }},
        {"a box added", [](Facts& f) { f.mp4.metadata.push_back({"udta/loci", "place"}); }},
        {"boxes swapped", [](Facts& f) { std::swap(f.mp4.metadata[0], f.mp4.metadata[2]); }},
        {"a name on another track", [](Facts& f) { f.mp4.metadata[4].first = "trak a0/udta"; }},
    };
    for (const auto& [what, fault] : boxFaults) {
        Facts f = mp4;
        fault(f);
        EXPECT_FALSE(readback::Judge(source, f, Lasting(10))) << what;
        EXPECT_FALSE(readback::Judge(source, f, trimmed)) << what;
    }
    // A cut fits the chapter list.
    Facts cut = mp4;
    cut.mp4.metadata[1].second = "one";
    EXPECT_FALSE(readback::Judge(source, cut, Lasting(10)));
    EXPECT_TRUE(readback::Judge(source, cut, trimmed));

    // Matroska: the tracks' flags, languages and names, the title and the
    // tags, but what the writer states itself.
    const auto track = [](const char* key, int type, bool isDefault, const char* language, const char* name = "") {
        probe::MatroskaTrack t;
        t.key = key;
        t.type = type;
        t.isDefault = isDefault;
        t.language = language;
        t.name = name;
        return t;
    };
    const auto tag = [](const QStringList& fields) { return fields.join(QChar(0x1F)); };
    Facts mkvSource = Video(Mechanism::Matroska);
    mkvSource.matroska.tracks = {track("v0", 1, true, "und"), track("s0", 17, false, "ger"),
                                 track("a0", 2, false, "ger"), track("a1", 2, false, "eng", "Commentary")};
    mkvSource.matroska.hasTitle = true;
    mkvSource.matroska.title = "Heimkino";
    mkvSource.matroska.tags = {tag({"level 50", "ARTIST", "und", "1", "Jemand"}),
                               tag({"track a0", "BPS", "und", "1", "68996"}),
                               tag({"track a0", "DURATION", "und", "1", "00:00:02.043000000"}),
                               tag({"chapter 0", "ARTIST", "und", "1", "Jemand"})};
    Facts mkv = WithCover(mkvSource);
    std::swap(mkv.matroska.tracks[1], mkv.matroska.tracks[3]);  // written in another order
    mkv.matroska.tags = {tag({"level 50", "ARTIST", "und", "1", "Jemand"}), tag({"level 50", "ENCODER", "und", "1", "Lavf"}),
                         tag({"track a0", "BPS", "und", "1", "68996"}),
                         tag({"track a0", "DURATION", "und", "1", "00:00:02.023000000"}),
                         tag({"track v0", "ENCODER", "und", "1", "Lavc libx264"}),
                         tag({"chapter 0", "ARTIST", "und", "1", "Jemand"}),
                         tag({"attachment cover.png", "COMMENT", "und", "1", "new"})};
    EXPECT_TRUE(readback::Judge(mkvSource, mkv, Lasting(10)));
    const std::vector<std::pair<const char*, std::function<void(Facts&)>>> mkvFaults{
        {"a track made default", [](Facts& f) { f.matroska.tracks[2].isDefault = true; }},
        {"a track made forced", [](Facts& f) { f.matroska.tracks[1].forced = true; }},
        {"a track enabled no more", [](Facts& f) { f.matroska.tracks[1].enabled = false; }},
        {"a language changed", [](Facts& f) { f.matroska.tracks[2].language = "eng"; }},
        {"a name lost", [](Facts& f) { f.matroska.tracks[1].name.clear(); }},
        {"the title taken from a tag", [](Facts& f) { f.matroska.title = "Tag Titel"; }},
        {"the title lost", [](Facts& f) { f.matroska.hasTitle = false; }},
        {"a tag lost", [](Facts& f) { f.matroska.tags.removeFirst(); }},
        {"a tag's level changed", [](Facts& f) { f.matroska.tags[0].replace("level 50", "level 70"); }},
        {"a tag on another track", [](Facts& f) { f.matroska.tags[2].replace("track a0", "track a1"); }},
    };
    for (const auto& [what, fault] : mkvFaults) {
        Facts f = mkv;
        fault(f);
        EXPECT_FALSE(readback::Judge(mkvSource, f, Lasting(10))) << what;
    }
    // A cut takes chapters, and their tags, with it.
    Facts mkvCut = mkv;
    mkvCut.matroska.tags.removeAll(tag({"chapter 0", "ARTIST", "und", "1", "Jemand"}));
    EXPECT_FALSE(readback::Judge(mkvSource, mkvCut, Lasting(10)));
    EXPECT_TRUE(readback::Judge(mkvSource, mkvCut, trimmed));
}
