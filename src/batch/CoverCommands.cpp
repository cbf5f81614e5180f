#include "batch/CoverCommands.h"

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

bool UsesHardwareSet(bool chOther, bool canAcc, bool chSpeed) { return chOther && (canAcc || chSpeed); }

QString Tail(const Inputs& in, Which which) {
    const TailText t = TailFor(in.saveAs, in.hardware, which);
    if (in.mp3) return QString::fromLatin1(t.mp3);
    // "-map 0" would also carry the source's old cover.
    QString mp4 = QString::fromLatin1(t.mp4);
    mp4.replace(QStringLiteral("-map 0 "), SourceStreams + " ");
    return QString::fromLatin1(t.mp4Blanks) + in.cropArgs + mp4;
}

EncoderCommand Build(const Inputs& in, Which which) {
    EncoderCommand c;
    if (which == Which::Qsv) c.Add(QsvPrefix);
    if (which == Which::Cuvid) c.Add(CuvidPrefix);
    c.Add(in.timeCutArgs)
        .Add(QStringLiteral(" -threads 2  -i "))
        .AddPath(in.sourceFile)
        .Add(QStringLiteral(" -i "))
        .AddPath(in.commandCover)
        .Add(Tail(in, which))
        .Add(in.encodeOptions)
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

bool Reencodes(bool mp3, const QString& cropArgs, bool chOther) { return !mp3 && (!cropArgs.isEmpty() || chOther); }

EncoderCommand Reencoding(EncoderCommand command) {
    command.ReplaceInLiterals(QStringLiteral("-c copy -disposition:0"), QStringLiteral("-c:v:0 png -disposition:0"));
    command.ReplaceInLiterals(QStringLiteral("-c copy"), QStringLiteral(" "));
    return command;
}

}  // namespace covercmd
