#include "batch/CoverCommands.h"

#include "platform/FileOps.h"

namespace covercmd {

namespace {

struct TailText {
    const char* mp3;
    const char* mp4Blanks;
    const char* mp4;
};

// The tails by output kind and command; the runs of blanks differ between
// commands and each command keeps its own.
TailText TailFor(bool saveAs, bool hardware, Which which) {
    if (saveAs) {
        if (!hardware)
            return {"   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ", "  ",
                    " -map 1 -map 0 -c copy -disposition:0   attached_pic "};
        switch (which) {
        case Which::Software:
            return {" -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ", " ",
                    " -map 1 -map 0 -c copy -disposition:0 attached_pic -y "};
        case Which::Qsv:
            return {"  -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ", "  ",
                    "  -map 1 -map 0 -c copy -disposition:0  attached_pic "};
        case Which::Cuvid:
            return {"  -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ", " ",
                    "  -map 1 -map 0 -c copy -disposition:0  attached_pic "};
        }
    }
    if (!hardware)
        return {"   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ", " ",
                " -map 1 -map 0 -c copy -disposition:0 attached_pic "};
    switch (which) {
    case Which::Software:
        return {"   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y  ", " ",
                " -map 1 -map 0 -c copy -disposition:0 attached_pic  "};
    case Which::Qsv:
        return {"   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ", " ",
                "  -map 1 -map 0 -c copy -disposition:0 attached_pic "};
    case Which::Cuvid:
        return {"   -map 0:0 -map 1:0 -c copy -id3v2_version 3 -y ", " ",
                " -map 1 -map 0 -c copy -disposition:0 attached_pic "};
    }
    return {"", "", ""};
}

}  // namespace

std::vector<std::pair<QString, QString>> Dispositions(const std::vector<probe::MatroskaTrack>& tracks) {
    std::vector<std::pair<QString, QString>> out;
    for (const probe::MatroskaTrack& t : tracks) {
        if (!t.key.startsWith('v') && !t.key.startsWith('a') && !t.key.startsWith('s')) continue;
        QStringList flags;
        const std::pair<bool, const char*> named[] = {
            {t.isDefault, "default"},          {t.forced, "forced"},
            {t.hearingImpaired, "hearing_impaired"}, {t.visualImpaired, "visual_impaired"},
            {t.textDescriptions, "descriptions"}, {t.commentary, "comment"},
            {t.original == 1, "original"},     {t.original == 0, "dub"},
        };
        for (const auto& [on, name] : named)
            if (on) flags << QLatin1String(name);
        out.emplace_back(t.key.left(1) + ":" + t.key.mid(1), flags.isEmpty() ? QStringLiteral("0") : flags.join('+'));
    }
    return out;
}

bool UsesHardwareSet(bool chOther, bool canAcc, bool chSpeed) { return chOther && (canAcc || chSpeed); }

QString Tail(const Inputs& in, Which which) {
    const TailText t = TailFor(in.saveAs, in.hardware, which);
    if (in.mechanism == container::Mechanism::Mp3)
        // The picture is the front cover; a file without a VBR header frame
        // gets none (decoders would then skip audio at its start), and an
        // ID3v1 tag it had is written again.
        return QString::fromLatin1(t.mp3) + QStringLiteral("-metadata:s:v:0 comment=\"Cover (front)\" ") +
               (in.writeVbrHeader ? QString() : QStringLiteral("-write_xing 0 ")) +
               (in.keepId3v1 ? QStringLiteral("-write_id3v1 1 ") : QString());
    // "-map 0" would also carry the source's old cover.
    QString mp4 = QString::fromLatin1(t.mp4);
    mp4.replace(QStringLiteral("-map 0 "), SourceStreams + " ");
    QString tail = QString::fromLatin1(t.mp4Blanks) + in.cropArgs + mp4;
    for (const int index : in.dropStreams) tail += QStringLiteral("-map -0:%1 ").arg(index);
    // The file's own tags with its creation time, which the default copy
    // leaves out. A timecode stated for the whole file would give the cover a
    // timecode track of its own; the video's is kept.
    tail += KeepMetadata + QStringLiteral("-metadata timecode= ");
    if (!in.writeChapters) tail += QStringLiteral("-map_chapters -1 ");
    // The QuickTime writer drops attached pictures; the MP4 writer keeps them.
    if (in.mechanism == container::Mechanism::QuickTime) tail += QStringLiteral("-f mp4 -brand \"qt  \" ");
    return tail;
}

namespace {

// The source's streams and non-picture attachments without its covers, then
// the new cover and the other pictures as attachments under their names.
// Names taken from files join their option as path pieces, so that no blank
// or quote in them can split the argument.
EncoderCommand MatroskaTail(const Inputs& in, Which which) {
    const TailText t = TailFor(in.saveAs, in.hardware, which);
    EncoderCommand c;
    c.Add(QString::fromLatin1(t.mp4Blanks) + in.cropArgs + QStringLiteral(" ") + SourceStreams +
          QStringLiteral(" -map 0:t? "));
    for (const QString& name : in.dropAttachments)
        c.Add(QStringLiteral("-map -0:t:m:filename:")).AddPath(name).Add(QStringLiteral(" "));
    for (const auto& [stream, flags] : in.dispositions)
        c.Add(QStringLiteral("-disposition:%1 %2 ").arg(stream, flags));
    const auto attach = [&c](const QString& file, const QString& name, const QString& mime) {
        const QString match = QStringLiteral(" -metadata:s:t:m:filename:");
        c.Add(QStringLiteral(" -attach ")).AddPath(file);
        c.Add(match).AddPath(fileops::NameOf(file)).Add(QStringLiteral(" mimetype=")).AddPath(mime);
        c.Add(match).AddPath(fileops::NameOf(file)).Add(QStringLiteral(" filename=")).AddPath(name);
    };
    c.Add(KeepMetadata + QStringLiteral("-c copy"));
    attach(in.attachCover, container::CoverAttachmentName, container::CoverAttachmentMime);
    for (const Inputs::Attachment& a : in.reattach) attach(a.file, a.name, a.mime);
    c.Add(QStringLiteral(" -f matroska "));
    return c;
}

}  // namespace

EncoderCommand Build(const Inputs& in, Which which) {
    EncoderCommand c;
    if (which == Which::Qsv) c.Add(QsvPrefix);
    if (which == Which::Cuvid) c.Add(CuvidPrefix);
    c.Add(in.timeCutArgs)
        .Add(QStringLiteral(" -threads 2  -i "))
        .AddPath(in.sourceFile)
        .Add(QStringLiteral(" -i "))
        .AddPath(in.commandCover);
    if (in.mechanism == container::Mechanism::Matroska) c.Add(MatroskaTail(in, which));
    else c.Add(Tail(in, which));
    c.Add(in.encodeOptions)
        .Add(QStringLiteral(" "))
        .AddPath(in.runOutputFile);
    return c;
}

Commands BuildAll(const Inputs& in, int accIndex) {
    Commands c;
    c.software = Build(in, Which::Software);
    if (!in.hardware) {
        c.first = c.software;
        return c;
    }
    c.qsv = Build(in, Which::Qsv);
    c.cuvid = Build(in, Which::Cuvid);
    c.firstIsCuvid = accIndex == 1;
    c.first = c.firstIsCuvid ? c.cuvid : c.qsv;
    return c;
}

bool Reencodes(container::Mechanism mechanism, const QString& cropArgs, bool chOther) {
    return mechanism != container::Mechanism::Mp3 && (!cropArgs.isEmpty() || chOther);
}

EncoderCommand Reencoding(EncoderCommand command) {
    command.ReplaceInLiterals(QStringLiteral("-c copy -disposition:0"),
                              QStringLiteral("-c:v:0 png ") + KeepCopied + QStringLiteral(" -disposition:0"));
    command.ReplaceInLiterals(QStringLiteral("-c copy"), QStringLiteral(" ") + KeepCopied + QStringLiteral(" "));
    return command;
}

}  // namespace covercmd
