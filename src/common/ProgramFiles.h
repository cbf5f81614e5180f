#pragma once
// The program's own names: its executable, the encoder beside it, and the
// work files it keeps in its folder.
#include <QString>

namespace program {
// The executable's own file name, as the process list shows it.
inline const char* const ExeName = "plindor";
inline const char* const EncoderExe = "Mezzor.exe";
inline const char* const EncoderLibrary = "Mezzor.dll";
// The maker's site, opened from the status bar.
inline const char* const HomePage = "https://plindor.example/";
}  // namespace program

// Work files in the program folder; the row steps overwrite them row by row.
namespace workfiles {
inline const char* const GrabbedFrame = "Tmp.png";   // mode 3: the frame taken as cover
inline const char* const ScaledCover = "Cover.png";  // the cover at the video's size
inline const char* const TextCover = "Back.bmp";     // mode 3: the file name drawn as cover
// Stems that take the source's extension: the encoder's output before it
// replaces the source, and the opening clip's cut, head frames, head and
// film with its parameter sets in the stream.
inline const char* const TempOutput = "Tmp";
inline const char* const Cut = "Cut";
inline const char* const HeadFrames = "Temp";
inline const char* const HeadClip = "Head";
inline const char* const ClipFilm = "Film";
inline const char* const ConcatList = "List.txt";
// The default output folder.
inline const char* const DefaultOutputFolder = "Temp";

// A work file's path in the program folder.
inline QString In(const QString& programFolder, const char* name) {
    return programFolder + QLatin1Char('/') + QLatin1String(name);
}

// Whether a name in the program folder is one the program writes there:
// a work file (for the stems, with any extension; the extracted pictures
// "Picture1.png"...), the ownership record, or the encoder.
inline bool IsWorkFileName(const QString& name) {
    for (const char* fixed : {GrabbedFrame, ScaledCover, TextCover, ConcatList, ".plindor-own", program::EncoderExe,
                              program::EncoderLibrary})
        if (name == QLatin1String(fixed)) return true;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? name : name.left(dot);
    for (const char* s : {TempOutput, Cut, HeadFrames, HeadClip, ClipFilm})
        if (dot >= 0 && stem == QLatin1String(s)) return true;
    static const QLatin1String picture("Picture");
    if (dot < 0 || !stem.startsWith(picture) || stem.size() == picture.size()) return false;
    for (int i = picture.size(); i < stem.size(); ++i)
        if (!stem[i].isDigit()) return false;
    return true;
}
}  // namespace workfiles
