#include "app/ui/update_settings_view.h"

#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/ui/pane_parts.h"
#include "app/ui/qt_text.h"

namespace veltrop::app {

UpdateSettingsView::UpdateSettingsView(Updater& updater, QWidget* parent) : QWidget(parent), updater_(updater) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 16, 20, 16);
    checks_ = new QCheckBox(qs(updateTexts::automaticallyChecks), this);
    checks_->setToolTip(QStringLiteral("At most once a day"));
    downloads_ = new QCheckBox(qs(updateTexts::automaticallyDownloads), this);
    downloads_->setToolTip(QStringLiteral("When an automatic check finds a newer version"));
    column->addWidget(checks_);
    column->addWidget(downloads_);
    column->addWidget(makeNote(
        QStringLiteral("Veltrop does not download or install updates itself: when an automatic check finds a newer "
                       "version, this opens its download page in your browser without asking first."),
        this));
    column->addSpacing(8);
    column->addWidget(makeNote(
        QStringLiteral("Update checks contact the Veltrop web site and read only the number of the newest version and its download page. "
                       "Photos and project records stay on your computer, and anonymous system profiling is "
                       "disabled."),
        this));
    if (!updater_.hasFeed()) {
        auto* missing = new WarningRow(this);
        missing->setMessage(QStringLiteral(
            "This copy of Veltrop was built without an update address, so it cannot check for updates."));
        column->addWidget(missing);
    }
    auto* check = new QPushButton(qs(updateTexts::checkCommand), this);
    column->addWidget(check, 0, Qt::AlignLeft);
    column->addStretch(1);

    connect(checks_, &QCheckBox::toggled, &updater_, &Updater::setAutomaticallyChecks);
    connect(downloads_, &QCheckBox::toggled, &updater_, &Updater::setAutomaticallyDownloads);
    connect(check, &QPushButton::clicked, &updater_, &Updater::checkForUpdates);
    for (auto signal : {&Updater::automaticallyChecksChanged, &Updater::automaticallyDownloadsChanged,
                        &Updater::canCheckForUpdatesChanged})
        connect(&updater_, signal, this, &UpdateSettingsView::sync);
    connect(&updater_, &Updater::canCheckForUpdatesChanged, check,
            [this, check] { check->setEnabled(updater_.canCheckForUpdates()); });
    check->setEnabled(updater_.canCheckForUpdates());
    sync();
}

void UpdateSettingsView::sync() {
    const QSignalBlocker a(checks_), b(downloads_);
    checks_->setChecked(updater_.automaticallyChecks());
    downloads_->setChecked(updater_.automaticallyDownloads());
    checks_->setEnabled(updater_.hasFeed());
    downloads_->setEnabled(updater_.hasFeed() && updater_.automaticallyChecks());
}

}  // namespace veltrop::app
