#pragma once
// Where Veltrop keeps what it remembers, as the help and About windows show it.

#include <QString>

namespace veltrop::app {

struct DataLocations {
    QString settingsFolder = QStringLiteral("~/.config/Veltrop");    // window layout, update choices, last preset
    QString dataFolder = QStringLiteral("~/.local/share/Veltrop");   // presets, watermark images, remembered folders

    // The folders this run uses: the XDG configuration folder that QSettings
    // writes to, and the per-user data folder of the stores.
    static DataLocations current();
    bool operator==(const DataLocations&) const = default;
};

// A path inside the home folder written with "~".
QString homeRelative(const QString& path);

}  // namespace veltrop::app
