#include "batch/ReadBack.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace readback {

using container::Mechanism;

probe::FrameTimes ReadFrameTimes(const QString& path, Mechanism mechanism) {
    switch (mechanism) {
    case Mechanism::Mp4:
    case Mechanism::QuickTime:
        return probe::ReadMp4FrameTimes(path);
    case Mechanism::Matroska:
        return probe::ReadMatroskaFrameTimes(path);
    default:
        return {};
    }
}

Facts Read(const QString& path, Mechanism mechanism, bool frameTimes) {
    Facts f;
    f.path = path;
    if (frameTimes) f.frames = ReadFrameTimes(path, mechanism);
    f.mechanism = mechanism;
    f.streams = probe::ReadStreamFacts(path);
    switch (mechanism) {
    case Mechanism::Mp4:
    case Mechanism::QuickTime:
        f.mp4 = probe::ReadMp4Layout(path);
        break;
    case Mechanism::Matroska:
        f.matroska = probe::ReadMatroskaLayout(path);
        break;
    case Mechanism::Mp3:
        f.mp3 = probe::ReadMp3Layout(path);
        break;
    case Mechanism::None:
        break;
    }
    return f;
}

double DurationTolerance(double seconds) { return std::max(0.25, 0.01 * seconds); }

bool IsPictureMime(const QString& mime) {
    static const QStringList pictures = {"image/jpeg", "image/jpg", "image/png", "image/gif", "image/tiff"};
    return pictures.contains(mime.trimmed().toLower());
}

namespace {

// The attachments that are not covers, comparable as a whole.
std::vector<std::tuple<QString, QString, long long>> keptAttachments(const probe::MatroskaLayout& m) {
    std::vector<std::tuple<QString, QString, long long>> kept;
    for (const auto& a : m.attachments)
        if (!container::IsCoverAttachmentName(a.name)) kept.emplace_back(a.name, a.mime.toLower(), a.dataSize);
    std::sort(kept.begin(), kept.end());
    return kept;
}

int coversOf(const Facts& f) {
    switch (f.mechanism) {
    case Mechanism::Mp4:
    case Mechanism::QuickTime:
        return f.mp4.covers;
    case Mechanism::Matroska: {
        int n = 0;
        for (const auto& a : f.matroska.attachments) n += container::IsCoverAttachmentName(a.name);
        return n;
    }
    case Mechanism::Mp3: {
        int n = 0;
        for (const probe::Id3Frame& frame : f.mp3.tag.frames) n += probe::PictureOf(f.mp3.tag, frame).type == 3;
        return n;
    }
    case Mechanism::None:
        break;
    }
    return 0;
}

bool coverIsTheConventionalOne(const Facts& f) {
    if (f.mechanism == Mechanism::Matroska) {
        for (const auto& a : f.matroska.attachments)
            if (container::IsCoverAttachmentName(a.name))
                return a.name == container::CoverAttachmentName &&
                       a.mime.compare(container::CoverAttachmentMime, Qt::CaseInsensitive) == 0 && a.dataSize > 0;
        return false;
    }
    return true;
}

// The source's ID3v2 tag as it was but for its covers: every other frame in
// its order and byte for byte, the same version, flags and extended header,
// and one front cover holding the chosen picture. A file without a tag gets
// an ID3v2.3 one.
bool keepsTag(const probe::Id3Tag& s, const probe::Id3Tag& o, const QByteArray& picture) {
    if (!o.found || !o.walkable) return false;
    if (s.found && (!s.walkable || o.major != s.major || o.revision != s.revision || o.flags != s.flags ||
                    o.extended.isEmpty() != s.extended.isEmpty()))
        return false;
    if (!s.found && o.major != 3) return false;
    const std::vector<size_t> sourceCovers = probe::CoverFrames(s);
    const std::vector<size_t> covers = probe::CoverFrames(o);
    if (covers.size() != 1) return false;
    const probe::Id3Picture cover = probe::PictureOf(o, o.frames[covers[0]]);
    if (cover.type != 3 || cover.data != picture) return false;
    const auto others = [](const probe::Id3Tag& t, const std::vector<size_t>& skip) {
        std::vector<QByteArray> kept;
        for (size_t i = 0; i < t.frames.size(); ++i)
            if (std::find(skip.begin(), skip.end(), i) == skip.end()) kept.push_back(t.frames[i].bytes);
        return kept;
    };
    return others(s, sourceCovers) == others(o, covers);
}

bool framesJoined(const probe::FrameTimes& frames, const Expectation& expect) {
    if (!frames.read || !probe::DecodeOrderHolds(frames)) return false;
    if (!(expect.longestFrame > 0)) return true;
    const double slack = std::max(frames.tick, expect.frameTick) + 1e-6;
    for (const double step : probe::FrameSpacing(frames))
        if (!(step >= expect.shortestFrame - slack && step <= expect.longestFrame + slack)) return false;
    return true;
}

bool complete(const Facts& f) {
    switch (f.mechanism) {
    case Mechanism::Mp4:
    case Mechanism::QuickTime:
        return f.mp4.complete;
    case Mechanism::Matroska:
        return f.matroska.complete;
    case Mechanism::Mp3:
        return f.mp3.readable && f.mp3.tagsWhole && f.mp3.id3v2 && f.mp3.frames > 0;
    case Mechanism::None:
        break;
    }
    return false;
}

// The recording date, the chapters (but for those a trim leaves behind with
// the part it cuts) and the pictures other than the cover come through
// unchanged. What the writer stamps itself (its name, the brands) is not
// compared.
bool keepsDateAndChapters(const Facts& s, const Facts& o, bool trimmed) {
    switch (o.mechanism) {
    case Mechanism::Mp4:
    case Mechanism::QuickTime:
        // The writer keeps the new cover alone: further pictures of the
        // source's cover entry would be lost.
        return s.mp4.covers <= 1 && s.mp4.creationTime == o.mp4.creationTime &&
               (trimmed || s.mp4.chapters == o.mp4.chapters);
    case Mechanism::Matroska:
        return s.matroska.hasDate == o.matroska.hasDate && s.matroska.date == o.matroska.date &&
               (trimmed || s.matroska.chapters == o.matroska.chapters);
    default:
        break;
    }
    return true;
}

// What a user keeps about a file besides its streams. MP4 and QuickTime:
// the metadata boxes as bytes (a cut leaves the chapter list to the writer).
// Matroska: each track's flags, language and name, the segment's title and
// every tag but those the writer states itself (its name, each track's
// length) and those aimed at the cover or, after a cut, at chapters.
bool keepsMetadata(const Facts& s, const Facts& o, bool trimmed) {
    switch (o.mechanism) {
    case Mechanism::Mp4:
    case Mechanism::QuickTime: {
        const auto kept = [trimmed](probe::Mp4Layout m) {
            if (trimmed)
                m.metadata.erase(std::remove_if(m.metadata.begin(), m.metadata.end(),
                                                [](const auto& b) { return b.first == "udta/chpl"; }),
                                 m.metadata.end());
            return m.metadata;
        };
        return kept(s.mp4) == kept(o.mp4);
    }
    case Mechanism::Matroska: {
        const auto tracks = [](const probe::MatroskaLayout& m) {
            std::vector<std::tuple<QString, int, bool, bool, bool, bool, bool, bool, bool, int, QString, QString>> t;
            for (const probe::MatroskaTrack& k : m.tracks)
                t.emplace_back(k.key, k.type, k.enabled, k.isDefault, k.forced, k.hearingImpaired, k.visualImpaired,
                               k.textDescriptions, k.commentary, k.original, k.language, k.name);
            std::sort(t.begin(), t.end());
            return t;
        };
        const auto tags = [trimmed](const probe::MatroskaLayout& m) {
            QStringList kept;
            for (const QString& tag : m.tags) {
                const QStringList f = tag.split(QChar(0x1F));
                if (f.size() < 2 || f[1] == "ENCODER" || (f[0].startsWith("track ") && f[1] == "DURATION") ||
                    (trimmed && f[0].startsWith("chapter ")) ||
                    (f[0].startsWith("attachment ") && container::IsCoverAttachmentName(f[0].mid(11))))
                    continue;
                kept << tag;
            }
            kept.sort();
            return kept;
        };
        return tracks(s.matroska) == tracks(o.matroska) && s.matroska.hasTitle == o.matroska.hasTitle &&
               s.matroska.title == o.matroska.title && tags(s.matroska) == tags(o.matroska);
    }
    default:
        break;
    }
    return true;
}

}  // namespace

bool Judge(const Facts& source, const Facts& output, const Expectation& expect) {
    if (output.mechanism == Mechanism::None || !output.streams.opened || !complete(output)) return false;

    const probe::StreamFacts& s = source.streams;
    const probe::StreamFacts& o = output.streams;
    if (output.mechanism == Mechanism::Mp3) {
        // The first stream of the source (its audio) and the picture.
        if (o.audio != 1 || s.audio < 1 || o.video != 0) return false;
        const probe::Mp3Layout& sm = source.mp3;
        const probe::Mp3Layout& om = output.mp3;
        // Untrimmed, the audio is the source's to the byte; trimmed, it is
        // the encoder's. The tags at the end are the source's either way.
        if (!expect.trimmed &&
            (om.frames != sm.frames || om.partialTail != sm.partialTail ||
             om.trailingStart - om.audioStart != sm.trailingStart - sm.audioStart || om.audioCrc != sm.audioCrc))
            return false;
        if (om.size - om.trailingStart != sm.size - sm.trailingStart || om.trailingCrc != sm.trailingCrc ||
            om.id3v1 != sm.id3v1 || om.ape != sm.ape)
            return false;
        if (!keepsTag(sm.tag, om.tag, expect.picture)) return false;
    } else {
        if (o.video != s.video || o.audio != s.audio || o.text != s.text) return false;
        if (o.video + o.audio == 0) return false;
    }
    if (output.mechanism == Mechanism::Matroska && keptAttachments(source.matroska) != keptAttachments(output.matroska))
        return false;
    if (!expect.joined && !keepsDateAndChapters(source, output, expect.trimmed)) return false;
    if (!expect.joined && !keepsMetadata(source, output, expect.trimmed)) return false;

    if (expect.joined) {
        // Without a length to hold it to, a join proves nothing.
        if (!(expect.duration > 0) || !(std::fabs(o.duration - expect.duration) <= JoinTolerance)) return false;
        if (!o.videoDurations.empty() && !o.audioDurations.empty()) {
            const double lead = *std::max_element(o.videoDurations.begin(), o.videoDurations.end()) -
                                *std::max_element(o.audioDurations.begin(), o.audioDurations.end());
            if (!(std::fabs(lead - expect.bodyVideoLead) <= JoinTolerance)) return false;
        }
        if (expect.framesChecked && !framesJoined(output.frames, expect)) return false;
    } else if (expect.trimmed && !(expect.duration > 0)) {
        // A trim with nothing to measure it by cannot be shown to have kept
        // what was asked.
        return false;
    } else if (expect.duration > 0) {
        const double tolerance = DurationTolerance(expect.duration);
        if (!expect.trimmed) {
            if (!(std::fabs(o.duration - expect.duration) <= tolerance)) return false;
        } else {
            // Copied streams start at the key frame before the cut and keep
            // whole subtitle lines: a trimmed file may run longer than asked,
            // never shorter, and never longer than its source.
            if (!(o.duration >= expect.duration - tolerance)) return false;
            if (s.duration > 0 && !(o.duration <= s.duration + DurationTolerance(s.duration))) return false;
        }
    }
    if (coversOf(output) != expect.covers) return false;
    return expect.covers == 0 || coverIsTheConventionalOne(output);
}

}  // namespace readback
