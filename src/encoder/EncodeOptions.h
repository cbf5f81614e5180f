#pragma once
// The re-encoding options that the cover commands carry between their inputs
// and their output.
//
// With ChOther unchecked the result is " -q:v 0 -q:a 0 -c copy -y " (stream
// copy). Otherwise it is built piece by piece from the option lists; every
// piece begins and ends with a blank, so neighbours stand two blanks apart:
//   size " -s W:H " (listed, typed, "?" or percentage), video bit rate
//   " -b:v Nk -maxrate Nk -bufsize 2Nk "
//   (" -b:v 0k " for a rate of 0), frame rate " -r <item> ", audio bit rate
//   " -b:a Nk ", sample rate " -ar N ", then
//   " -preset fast -crf <comp> -q:v 0 -q:a 0 " + (" -acodec copy " unless an
//   audio setting is chosen) + " -y ".
// A video bit rate above 0 drops " -crf <comp>" and an audio bit rate drops
// " -q:a 0": either would override the chosen rate.
//
// Nothing is returned when the build fails (a probe fails, a typed bit rate is
// not a number, a value leaves the 32-bit range); the batch run then keeps the
// option text it had. After a "?" size has been worked out, a failing later
// step only drops its own piece.
#include <QString>
#include <functional>
#include <optional>

// The option controls as the builder reads them.
struct EncodeControls {
    bool other = false;  // ChOther checked
    int sizeIndex = 0;   // CmbSize
    QString sizeText;
    int vbitIndex = 0;   // CmbVBit
    QString vbitText;
    int frmsIndex = 0;   // CmbFrms
    QString frmsText;
    int abitIndex = 0;   // CmbABit
    QString abitText;
    int arateIndex = 0;  // CmbARate
    QString arateText;
    QString compText;    // CmbComp
};

// The source facts the builder asks for, only when a setting needs them.
struct EncodeProbes {
    struct Size {
        QString width, height;  // decimal texts as the media probe writes them
    };
    std::function<std::optional<Size>()> videoSize;
    std::function<std::optional<long>()> videoBitrateKbps;

    // The media probe on a file.
    static EncodeProbes ForFile(const QString& file);
};

std::optional<QString> BuildEncodeOptions(const EncodeControls& controls, const EncodeProbes& probes);

// Whether the size setting can be applied as the box shows it. A picked item
// and a "?" size always can; a typed text (list index -1) must read as
// "W x H" (two whole numbers above 0; odd sides are made even), as a
// percentage "N%" from 1 to 100, or be empty or the keep item's text. The
// builder fails on a typed text that does not; a run refuses such rows.
bool SizeTextApplies(const EncodeControls& controls);
