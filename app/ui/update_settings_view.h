#pragma once
// The Updates tab of the settings window.

#include <QCheckBox>
#include <QWidget>

#include "app/ui/updater.h"

namespace veltrop::app {

namespace updateTexts {
inline constexpr const char* automaticallyChecks = "Automatically check for updates";
// This build cannot install anything; the setting opens a newer version's download page.
inline constexpr const char* automaticallyDownloads = "Open the download page of a new version automatically";
inline constexpr const char* checkCommand = "Check for Updates\u2026";
}  // namespace updateTexts

class UpdateSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit UpdateSettingsView(Updater& updater, QWidget* parent = nullptr);
    QCheckBox* checksBox() const { return checks_; }
    QCheckBox* downloadsBox() const { return downloads_; }

private:
    void sync();

    Updater& updater_;
    QCheckBox* checks_;
    QCheckBox* downloads_;
};

}  // namespace veltrop::app
