#pragma once
// The MediaInfo library's C interface in its wide-character form, loaded at
// run time, and the one sequence the probes run on it.
#include <QString>
#include <cstddef>
#include <vector>

namespace probe {

// The six calls the probes use, and two for reading single fields. A plain
// table of function pointers, so tests can stand in for the library.
struct MediaInfoApi {
    void* (*New)() = nullptr;
    std::size_t (*Open)(void* handle, const wchar_t* file) = nullptr;
    const wchar_t* (*Option)(void* handle, const wchar_t* option, const wchar_t* value) = nullptr;
    const wchar_t* (*Inform)(void* handle, std::size_t reserved) = nullptr;
    void (*Close)(void* handle) = nullptr;
    void (*Delete)(void* handle) = nullptr;
    // Field by name (kind: 0 general, 1 video, 2 audio, 3 text; info 1: its
    // text; search 0: by name), and the number of streams of a kind.
    const wchar_t* (*Get)(void* handle, int kind, std::size_t stream, const wchar_t* parameter, int info,
                          int search) = nullptr;
    std::size_t (*CountGet)(void* handle, int kind, std::size_t stream) = nullptr;

    bool Loaded() const { return New && Open && Option && Inform && Close && Delete; }
    bool HasFields() const { return Loaded() && Get && CountGet; }
};

// Loads a library file (searched like any shared library) and resolves the six
// calls; an empty table when the file or one of the calls is missing.
MediaInfoApi LoadMediaInfo(const char* libraryFile);

// The system's libmediainfo, loaded on first use and kept for the process's life.
const MediaInfoApi& SystemMediaInfo();

// Whether the library opens and reads a small file known to be good; false
// when it is not loaded. Tells a missing or broken library from a bad file.
bool ReadsKnownMedia(const MediaInfoApi& api);

enum class ReportKind { Normal, Complete };

// The library's text report for a file: New, Open, Option "Complete", Inform,
// then Close and Delete, whatever happened in between. Empty when the library
// is not loaded or gives no report, which readers treat like an unreadable file.
QString FetchReport(const MediaInfoApi& api, const QString& file, ReportKind kind);

// Named fields of a file, read in one opening.
struct FieldQuery {
    int kind = 0;          // 0 general, 1 video, 2 audio, 3 text
    QString parameter;     // e.g. "Duration"
};
struct Fields {
    bool opened = false;
    int counts[4] = {0, 0, 0, 0};  // streams per kind (general counts 1 when opened)
    // values[i][k]: the i-th query's value for stream k of its kind.
    std::vector<std::vector<QString>> values;
};
// Headers reads only the headers and indexes: enough for streams and
// durations, cheap on a large file. Normal also looks into the media, as the
// reports do (a Matroska frame rate is worked out from the frames).
enum class ParseDepth { Headers, Normal };
Fields FetchFields(const MediaInfoApi& api, const QString& file, const std::vector<FieldQuery>& queries,
                   ParseDepth depth = ParseDepth::Headers);

}  // namespace probe
