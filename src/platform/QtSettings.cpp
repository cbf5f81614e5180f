#include "platform/QtSettings.h"

#include <QSettings>


std::optional<QString> QtSettings::Get(const QString& key) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, settings_names::Application,
                settings_names::Application);
    s.beginGroup(settings_names::Group);
    if (!s.contains(key)) return std::nullopt;
    return s.value(key).toString();
}

void QtSettings::Set(const QString& key, const QString& value) {
    QSettings s(QSettings::IniFormat, QSettings::UserScope, settings_names::Application,
                settings_names::Application);
    s.beginGroup(settings_names::Group);
    s.setValue(key, value);
    s.sync();
}
