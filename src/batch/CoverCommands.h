#pragma once
// The encoder command lines that put a cover into a row's file.
//
// Every command reads the source (input 0) and the cover picture (input 1)
// and writes one output: the picture first, marked as the attached cover,
// then the source's own streams. The source's existing cover is not carried
// over, so a second replacement replaces rather than adds. An MP3 gets an
// ID3v2.3 front-cover picture instead, and a Matroska file an attachment
// (Containers.h says which file gets which).
#include "batch/Containers.h"
#include "encoder/EncoderCommand.h"
#include "probe/FileStructure.h"

#include <QString>
#include <utility>
#include <vector>

namespace covercmd {

// Hardware decoders asked for before the source input.
inline const QString QsvPrefix = QStringLiteral("  -c:v h264_qsv ");
inline const QString CuvidPrefix = QStringLiteral(" -c:v h264_cuvid   -noautorotate ");
// The source's streams without its attached pictures, video before audio.
inline const QString SourceStreams = QStringLiteral("-map 0:V? -map 0:a? -map 0:s? -map 0:d?");

// The source's file-level tags, creation time included.
inline const QString KeepMetadata = QStringLiteral("-map_metadata 0 ");
// What a re-encoding command still copies.
inline const QString KeepCopied = QStringLiteral("-c:s copy -c:d copy -c:t copy");

enum class Which { Software, Qsv, Cuvid };

struct Inputs {
    QString sourceFile;
    QString commandCover;
    QString timeCutArgs;
    QString cropArgs;
    QString encodeOptions;
    QString runOutputFile;
    bool saveAs = false;    // ChSaveAs
    bool hardware = false;  // the hardware command set
    // By the target's extension; None is never built (the row is refused).
    container::Mechanism mechanism = container::Mechanism::Mp4;

    // Matroska: the PNG attached as the cover, the source's cover attachments
    // to leave out, and its other pictures (which the encoder only reads as
    // pictures, never as attachments) taken out beforehand to go back in.
    QString attachCover;
    QStringList dropAttachments;
    struct Attachment {
        QString file, name, mime;
    };
    std::vector<Attachment> reattach;

    // MP4 and QuickTime: the source's streams to leave out by index (its
    // chapter text tracks and timecode tracks, which the writer makes anew
    // from the chapters and from the video's timecode), and whether the
    // writer makes chapters: not where the source has none that the layout
    // reads (the demuxer also takes a camera's highlight marks for chapters),
    // nor where its chapter list is carried over as it was (Mp4Boxes.h).
    std::vector<int> dropStreams;
    bool writeChapters = true;

    // Matroska: each track's flags, as "-disposition" takes them, by the
    // output stream's specifier ("a:1", "0"): with none given the command
    // line would mark the first track of each kind default.
    std::vector<std::pair<QString, QString>> dispositions;

    // MP3: what the source had and keeps.
    bool keepId3v1 = false;
    bool writeVbrHeader = true;
};

struct Commands {
    EncoderCommand software;
    EncoderCommand qsv;    // hardware set only
    EncoderCommand cuvid;  // hardware set only
    EncoderCommand first;  // what the first attempt runs
    bool firstIsCuvid = false;
};

// The flags of the source's video, audio and subtitle tracks for
// Inputs::dispositions.
std::vector<std::pair<QString, QString>> Dispositions(const std::vector<probe::MatroskaTrack>& tracks);

// The hardware set serves rows that re-encode (ChOther) when a decoder worked
// before (CanAcc) or the user asks for one (ChSpeed).
bool UsesHardwareSet(bool chOther, bool canAcc, bool chSpeed);

// The text between the cover path and the options, for one command of the
// MP4 and MP3 kinds (Matroska's holds paths and is part of Build only).
QString Tail(const Inputs& in, Which which);
EncoderCommand Build(const Inputs& in, Which which);
// accIndex 1 starts with CUVID; -1 and 0 with Quick Sync.
Commands BuildAll(const Inputs& in, int accIndex);

// Whether a video command must re-encode: a crop filter cannot work on copied
// streams, and the re-encoding options of ChOther do nothing on them. MP3
// commands copy.
bool Reencodes(container::Mechanism mechanism, const QString& cropArgs, bool chOther);
// The re-encoding form of a command: picture and sound re-encoded, the cover
// kept a PNG picture (the MP4 muxer refuses an H.264 cover stream), and
// subtitles, data and attachments still copied (there is no encoder for most
// of them).
EncoderCommand Reencoding(EncoderCommand command);

}  // namespace covercmd
