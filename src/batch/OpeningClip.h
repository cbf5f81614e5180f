#pragma once
// The opening clip of mode 3: the grabbed frame laid over the video's first
// half second, and that half second joined in front of the whole video.
//
// Up to five encoder runs, each into a work file of the program folder:
//   1. trim and crop of the source into Cut<ext> (only with ChCutTime or
//      ChCutSize; both values are percentages of the duration and the size);
//   2. HEVC only: the film copied into Film<ext> with its parameter sets put
//      in front of each key frame;
//   3. the first 0.5 s of the film into Temp<ext>;
//   4. the cover over those frames into Head<ext>, its sound cut to end
//      where the film's sound takes over;
//   5. Head<ext> and the film joined through List.txt into the output.
//
// The join copies both halves as they are, so the head must be coded as the
// film behind it (the source, or the cut when there is one): the same codec,
// profile and level, frame size, pixel format, exact frame rate and, in MP4
// and QuickTime files, the same video time base. Each half carries its own
// parameter sets in the stream (the joined sample entry says so: avc3,
// hev1), so the encoder's settings need not be the film's. A film whose
// coding the encoder cannot repeat gets no head, and its row fails.
//
// The head lasts exactly as long as the list says, the film's first picture
// following the head's last by one frame; the head's sound keeps only the
// packets that end by then.
#include "batch/Containers.h"
#include "batch/ReadBack.h"
#include "encoder/EncoderCommand.h"
#include "probe/FrameTimes.h"
#include "probe/MediaProbe.h"

#include <QString>
#include <optional>

struct RunContext;
struct RunState;

namespace openingclip {

struct ClipFiles {
    QString ext;         // the source name's extension, dot included
    QString cut;         // <folder>/Cut<ext>
    QString headFrames;  // <folder>/Temp<ext>
    QString headClip;    // <folder>/Head<ext>
    QString film;        // <folder>/Film<ext>
    QString list;        // <folder>/List.txt
};
// Nothing when the source's file name has no ".".
std::optional<ClipFiles> FilesFor(const QString& programFolder, const QString& source);

// Seconds of film the head takes from the start, and adds to the output.
constexpr double HeadSeconds = 0.5;

// The rectangle kept of the picture, in pixels.
struct CropBox {
    int x = 0, y = 0, width = 0, height = 0;
};
// From "left,top,right,bottom" percentages of the row's width and height,
// each rounded halves to even. A "%" sign is allowed (the values are
// percentages anyway). Nothing when a part is missing or not a number, or
// the size cells are not numbers.
std::optional<CropBox> CropBoxFor(const QString& sizeCut, const QString& widthCell, const QString& heightCell);
// " -filter_complex crop=x=L:y=T:w=W:h=H ".
QString CropText(const CropBox& box);
std::optional<QString> CropText(const QString& sizeCut, const QString& widthCell, const QString& heightCell);

// The part of the film the trim keeps: start and length in seconds, from
// "head,tail" percentages of the duration (taken in single precision), each
// rounded to 2 decimals. Nothing when a part is missing or not a number.
struct Trim {
    double start = 0, length = 0;
};
std::optional<Trim> TrimFor(const QString& timeCut, double duration);
// "-ss S -t L ".
QString TimeText(const Trim& trim);
std::optional<QString> TimeText(const QString& timeCut, double duration);

// The film's frame rate as an exact fraction for the encoder ("30000/1001",
// "25/2", "30"): the library's numerator and denominator when it states
// them, else its decimal rate, read as n*1000/1001 when it is that to the
// thousandth. Nothing when it states no rate.
std::optional<QString> ExactRate(const probe::VideoCoding& video);

// The film the head is joined to, as far as the head must repeat it.
struct Body {
    probe::VideoCoding video;
    probe::StreamFacts streams;
    container::Mechanism mechanism = container::Mechanism::None;
    long long timescale = 0;  // MP4 and QuickTime: the video track's
};

// How the head is encoded to join the body.
struct HeadCoding {
    QString rate;       // the exact frame rate, for -r
    QString videoArgs;  // " -c:v libx264 -profile:v high -level 4.1 ..."
    int width = 0, height = 0;
    // HEVC in MP4 and Matroska keeps its parameter sets only in the track's
    // header, which the join takes from the head: the film is first copied
    // with its own sets put into the stream.
    bool filmCopy = false;
    // The joined track's sample entry, for sets carried in the stream
    // (" -tag:v avc3", " -tag:v hev1"; empty outside MP4 and QuickTime).
    QString joinTag;
};
// Nothing when the body cannot be repeated: streams other than one video
// and at most one audio (the head would carry only those, and subtitles
// coded anew), a codec other than H.264 (libx264) and HEVC (libx265), a
// profile or pixel format the encoder cannot write, no frame rate or frame
// size, an MP4 or QuickTime body without a readable time base, or a picture
// turned by rotation metadata.
std::optional<HeadCoding> HeadCodingFor(const Body& body);

// The overlay's filter: the cover cut like the film (when it is cropped)
// and scaled to exactly the film's frame, laid over the head's frames.
QString CoverFilter(const std::optional<CropBox>& crop, int width, int height);

// The five command lines. kbps is a whole number; rate an exact one.
EncoderCommand CutCommand(const QString& timeText, const QString& source, const QString& cropText,
                          const QString& rate, long kbps, const QString& cutFile);
EncoderCommand FilmCopyCommand(const QString& film, const HeadCoding& head, const QString& filmCopy);
EncoderCommand HeadFramesCommand(const QString& source, const HeadCoding& head, long kbps,
                                 const QString& headFrames);
// headLength: the head's length in the list; sound packets that end later
// are left out.
EncoderCommand HeadOverlayCommand(const QString& headFrames, const QString& cover, const QString& coverFilter,
                                  const HeadCoding& head, long kbps, double headLength, const QString& headClip);
EncoderCommand ConcatCommand(const QString& listFile, const HeadCoding& head, const QString& output);

// Seconds from the head's start to where the film's earliest stream must
// start, so that the film's first picture follows the head's last by one
// frame: the head frames' pictures (at the exact rate) and where the film's
// video starts after its earliest stream. Nothing when either cannot be
// read or the head would end before it begins.
std::optional<double> HeadLength(const probe::FrameTimes& headFrames, const QString& rate,
                                  const probe::FrameTimes& film);
// Seconds of one frame at an exact rate ("30000/1001"); 0 for no rate.
double FramePeriod(const QString& rate);

// What the joined output must be: the body's length (the source's, or the
// trimmed length when trimLength is above 0) plus the head's, with the
// video and audio ending as far apart as in the body, and no cover.
readback::Expectation JoinExpectation(const probe::StreamFacts& source, const probe::StreamFacts& body,
                                      double trimLength);
// The same, read from the body file, and its pictures spaced as the body's
// are or as the head's (one frame at the body's exact rate): no hole, no
// overlap at the join.
readback::Expectation JoinExpectation(const probe::StreamFacts& source, const QString& body,
                                      container::Mechanism mechanism, double trimLength);

// A path between the list's single quotes, the way the joining step reads
// it: every ' becomes '\'' (close, escaped quote, reopen).
QString ConcatQuoted(const QString& path);
// Three lines, each ended by CR LF: the head clip, its length in seconds,
// then the film.
QString ConcatListText(const QString& headClip, double headLength, const QString& film);

// Status and progress texts.
QString CuttingStatus(const QString& sizeMb);
QString SizeMbText(long long bytes);  // bytes / 1024 / 1024, 2 decimals
QString JoiningStatus();
QString ClipProgress(int row, int total);

}  // namespace openingclip

// The row step (the batch run calls it in place of the first cover run).
// Writes the joined clip to `output`; state.LastRunOk tells whether the
// joining run ended well (false when the clip never got that far), and
// state.ClipBody and state.ClipTrimLength what it was joined to.
void RunOpeningClip(const RunContext& run, RunState& state, const QString& source, const QString& cover,
                    const QString& output, int total, int row);
