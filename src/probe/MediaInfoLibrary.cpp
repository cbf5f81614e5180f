#include "probe/MediaInfoLibrary.h"

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

QString FetchReport(const MediaInfoApi& api, const QString& file, ReportKind kind) {
    if (!api.Loaded()) return {};
    // "Complete" is one setting for the whole library, not per handle: a probe
    // on another thread must not switch it between Option and Inform.
    static std::mutex sequence;
    const std::lock_guard<std::mutex> lock(sequence);
    const Utf8LocaleScope utf8;
    void* handle = api.New();
    if (!handle) return {};
    // Released on every way out, the report having been copied first.
    struct Release {
        const MediaInfoApi& api;
        void* handle;
        ~Release() {
            api.Close(handle);
            api.Delete(handle);
        }
    } release{api, handle};

    const std::wstring name = file.toStdWString();
    api.Open(handle, name.c_str());  // an unreadable file just gives a report without the labels
    api.Option(handle, L"Complete", kind == ReportKind::Complete ? L"1" : L"");
    const wchar_t* report = api.Inform(handle, 0);
    return report ? QString::fromWCharArray(report) : QString();
}

}  // namespace probe
