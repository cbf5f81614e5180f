#pragma once
#include <QString>
#include <optional>

// Names of the stored settings, in one place.
namespace settings_names {
inline const char* const Application = "Plindor";
inline const char* const Group = "Default";
inline const char* const AccIndex = "AccIndex";
inline const char* const CanAcc = "CanAcc";
}  // namespace settings_names

// The per-user settings store, group "Default".
class Settings {
public:
    virtual ~Settings() = default;
    virtual std::optional<QString> Get(const QString& key) = 0;
    virtual void Set(const QString& key, const QString& value) = 0;
};
