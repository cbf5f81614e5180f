#pragma once
#include "platform/Settings.h"

// INI file in the XDG config folder: Plindor/Plindor.ini, group "Default".
class QtSettings : public Settings {
public:
    std::optional<QString> Get(const QString& key) override;
    void Set(const QString& key, const QString& value) override;
};
