#include "platform/ProgramInfo.h"

#include "common/NumberText.h"
#include "platform/ProcessList.h"

#include <sys/utsname.h>
#include <cstring>

bool IsWow64() {
    struct utsname u;
    if (::uname(&u) != 0) return sizeof(void*) == 8;
    const char* m = u.machine;
    return std::strstr(m, "64") != nullptr || std::strcmp(m, "s390x") == 0;
}

long KillProcessByName(ProcessList& processes, const QString& exeName) {
    return processes.KillFirstByPrefix(exeName);
}

std::optional<int> SettingAsInt16(const QString& text) {
    const auto v = num::WholeTextNumber(text);
    if (!v || *v != static_cast<double>(static_cast<long long>(*v))) return std::nullopt;
    return num::ToInt16(*v);
}

std::optional<bool> SettingAsBool(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare("true", Qt::CaseInsensitive) == 0) return true;
    if (t.compare("false", Qt::CaseInsensitive) == 0) return false;
    const auto v = num::WholeTextNumber(t);
    if (!v) return std::nullopt;
    return *v != 0;
}
