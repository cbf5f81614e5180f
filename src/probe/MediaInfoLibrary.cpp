#include "probe/MediaInfoLibrary.h"

#include <QDir>
#include <QTemporaryFile>

#include <dlfcn.h>
#include <locale.h>

#include <mutex>
#include <string>

namespace probe {

namespace {

template <typename F>
void resolve(void* lib, const char* name, F& slot) {
    slot = reinterpret_cast<F>(dlsym(lib, name));
}

// The library turns wide file names into bytes with the calling thread's
// locale and formats numbers with it. Under a "C" locale every name with
// Chinese characters fails to open, so each call runs under C.UTF-8 for this
// thread only; the process's locale is left alone.
class Utf8LocaleScope {
public:
    Utf8LocaleScope() {
        if (const locale_t utf8 = locale()) previous_ = uselocale(utf8);
    }
    ~Utf8LocaleScope() {
        if (previous_) uselocale(previous_);
    }
    Utf8LocaleScope(const Utf8LocaleScope&) = delete;
    Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;

private:
    static locale_t locale() {
        static const locale_t utf8 = [] {
            locale_t l = newlocale(LC_ALL_MASK, "C.UTF-8", locale_t(nullptr));
            return l ? l : newlocale(LC_ALL_MASK, "C.utf8", locale_t(nullptr));
        }();
        return utf8;
    }
    locale_t previous_ = locale_t(nullptr);
};

}  // namespace

MediaInfoApi LoadMediaInfo(const char* libraryFile) {
    void* lib = dlopen(libraryFile, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return {};
    MediaInfoApi api;
    resolve(lib, "MediaInfo_New", api.New);
    resolve(lib, "MediaInfo_Open", api.Open);
    resolve(lib, "MediaInfo_Option", api.Option);
    resolve(lib, "MediaInfo_Inform", api.Inform);
    resolve(lib, "MediaInfo_Close", api.Close);
    resolve(lib, "MediaInfo_Delete", api.Delete);
    resolve(lib, "MediaInfo_Get", api.Get);
    resolve(lib, "MediaInfo_Count_Get", api.CountGet);
    if (!api.Loaded()) {
        dlclose(lib);
        return {};
    }
    return api;  // stays loaded: the table points into it
}

const MediaInfoApi& SystemMediaInfo() {
    static const MediaInfoApi api = LoadMediaInfo("libmediainfo.so.0");
    return api;
}

namespace {

// Runs use(handle) on the file opened by a fresh handle; the handle is
// released on every way out. Library calls are serialised: "Complete" is one
// setting for the whole library, not per handle, so a probe on another thread
// must not switch it between Option and Inform.
// parseSpeed: how much of the file the library reads, from 0 (the headers
// and indexes only) to 1 (everything).
template <class Use>
void withOpened(const MediaInfoApi& api, const QString& file, const wchar_t* parseSpeed, Use use) {
    static std::mutex sequence;
    const std::lock_guard<std::mutex> lock(sequence);
    const Utf8LocaleScope utf8;
    void* handle = api.New();
    if (!handle) return;
    struct Release {
        const MediaInfoApi& api;
        void* handle;
        ~Release() {
            api.Close(handle);
            api.Delete(handle);
        }
    } release{api, handle};
    api.Option(handle, L"ParseSpeed", parseSpeed);
    const std::wstring name = file.toStdWString();
    use(handle, api.Open(handle, name.c_str()));
}

}  // namespace

QString FetchReport(const MediaInfoApi& api, const QString& file, ReportKind kind) {
    if (!api.Loaded()) return {};
    QString out;
    // An unreadable file just gives a report without the labels.
    withOpened(api, file, L"0.5", [&](void* handle, std::size_t) {
        api.Option(handle, L"Complete", kind == ReportKind::Complete ? L"1" : L"");
        const wchar_t* report = api.Inform(handle, 0);
        if (report) out = QString::fromWCharArray(report);  // copied before the handle goes
    });
    return out;
}

Fields FetchFields(const MediaInfoApi& api, const QString& file, const std::vector<FieldQuery>& queries,
                   ParseDepth depth) {
    Fields out;
    if (!api.HasFields()) return out;
    // Reading a large file's media costs more than the encoder's whole copy
    // of it: only what needs it does.
    withOpened(api, file, depth == ParseDepth::Headers ? L"0" : L"0.5", [&](void* handle, std::size_t opened) {
        if (!opened) return;
        out.opened = true;
        for (int kind = 0; kind < 4; ++kind)
            out.counts[kind] = static_cast<int>(api.CountGet(handle, kind, static_cast<std::size_t>(-1)));
        for (const FieldQuery& q : queries) {
            std::vector<QString> perStream;
            const std::wstring parameter = q.parameter.toStdWString();
            const int n = q.kind >= 0 && q.kind < 4 ? out.counts[q.kind] : 0;
            for (int k = 0; k < n; ++k) {
                const wchar_t* v = api.Get(handle, q.kind, static_cast<std::size_t>(k), parameter.c_str(), 1, 0);
                perStream.push_back(v ? QString::fromWCharArray(v) : QString());
            }
            out.values.push_back(perStream);
        }
    });
    return out;
}

}  // namespace probe

namespace probe {

namespace {

// A tenth of a second of 8 kHz mono silence as a WAV file: small, and read
// by every build of the library.
QByteArray knownGoodWave() {
    const quint32 dataBytes = 1600;
    QByteArray b;
    const auto u32 = [&b](quint32 v) {
        for (int i = 0; i < 4; ++i) b.append(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    const auto u16 = [&b](quint16 v) {
        b.append(static_cast<char>(v & 0xff));
        b.append(static_cast<char>(v >> 8));
    };
    b.append("RIFF");
    u32(36 + dataBytes);
    b.append("WAVEfmt ");
    u32(16);
    u16(1);         // PCM
    u16(1);         // mono
    u32(8000);      // samples per second
    u32(16000);     // bytes per second
    u16(2);         // block size
    u16(16);        // bits per sample
    b.append("data");
    u32(dataBytes);
    b.append(QByteArray(static_cast<int>(dataBytes), '\0'));
    return b;
}

}  // namespace

bool ReadsKnownMedia(const MediaInfoApi& api) {
    if (!api.HasFields()) return false;
    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/known-XXXXXX.wav"));
    const QByteArray wave = knownGoodWave();
    if (!file.open() || file.write(wave) != wave.size() || !file.flush()) return false;
    const Fields got = FetchFields(api, file.fileName(), {{2, QStringLiteral("SamplingRate")}});
    return got.opened && got.counts[2] == 1 && got.values[0][0].trimmed() == QLatin1String("8000");
}

}  // namespace probe
