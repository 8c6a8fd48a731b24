#include "app/ui/data_locations.h"

#include <QDir>
#include <QStandardPaths>

#include "app/ui/qt_text.h"
#include "kit/storage/application_support.h"

namespace veltrop::app {

QString homeRelative(const QString& path) {
    const QString home = QDir::homePath();
    const QString clean = QDir::cleanPath(path);
    if (home.isEmpty() || home == QStringLiteral("/")) return clean;
    if (clean == home) return QStringLiteral("~");
    if (clean.startsWith(home + QLatin1Char('/'))) return QStringLiteral("~") + clean.mid(home.size());
    return clean;
}

DataLocations DataLocations::current() {
    DataLocations locations;
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!config.isEmpty()) locations.settingsFolder = homeRelative(config + QStringLiteral("/Veltrop"));
    if (auto folder = storage::veltropFolder()) locations.dataFolder = homeRelative(qpath(*folder));
    return locations;
}

}  // namespace veltrop::app
