#include "app/ui/destination_bar.h"

#include <QGridLayout>
#include <QSignalBlocker>
#include <QStyle>

#include "app/ui/qt_text.h"

namespace veltrop::app {

DestinationBar::DestinationBar(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(4);

    package_ = new QCheckBox(qs(destinationTexts::packageToggle), this);
    package_->setToolTip(qs(destinationTexts::packageHelp));
    package_->setWhatsThis(qs(destinationTexts::packageHelp));

    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_DirIcon, nullptr, this).pixmap(16, 16));
    outputLabel_ = new QLabel(this);
    outputLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    outputLabel_->setWordWrap(true);
    QFont bold = outputLabel_->font();
    bold.setBold(true);
    outputLabel_->setFont(bold);
    choose_ = new QPushButton(qs(std::string(destinationTexts::chooseOutput) + "\u2026"), this);
    choose_->setAccessibleName(qs(destinationTexts::chooseOutput));
    choose_->setAutoDefault(false);
    reset_ = new QPushButton(QStringLiteral("Reset"), this);
    reset_->setToolTip(qs(destinationTexts::resetHelp));
    reset_->setAccessibleDescription(qs(destinationTexts::resetHelp));
    reset_->setAutoDefault(false);
    grid->addWidget(package_, 0, 0, 1, 4);
    grid->addWidget(icon, 1, 0);
    grid->addWidget(outputLabel_, 1, 1);
    grid->addWidget(choose_, 1, 2);
    grid->addWidget(reset_, 1, 3);
    grid->setColumnStretch(1, 1);

    connect(package_, &QCheckBox::toggled, this, [this](bool on) {
        settings::StampConfiguration configuration = model_.configuration();
        if (!configuration.project) configuration.project = settings::defaultProject();
        configuration.project->includeHandoverPackage = on;
        model_.setConfiguration(configuration);
    });
    connect(choose_, &QPushButton::clicked, this, [this] {
        const bool package = settings::effectiveProject(model_.configuration()).includeHandoverPackage;
        model_.chooseOutputFolder(package ? modelTexts::choosePackageFolder : modelTexts::chooseOutputFolder);
    });
    connect(reset_, &QPushButton::clicked, &model_, &AppModel::resetOutputFolder);
    sync();
}

void DestinationBar::sync() {
    const settings::StampConfiguration& c = model_.configuration();
    {
        const QSignalBlocker block(package_);
        package_->setChecked(settings::effectiveProject(c).includeHandoverPackage);
    }
    const OutputDescription output = model_.outputDescription();
    outputLabel_->setText(qs(output.label));
    outputLabel_->setToolTip(qs(output.explanation));
    outputLabel_->setAccessibleName(qs(output.label));
    outputLabel_->setAccessibleDescription(qs(output.explanation));
    choose_->setToolTip(qs(output.explanation));
    reset_->setEnabled(c.outputRoot.has_value());
    setEnabled(!model_.isRunning());
}

}  // namespace veltrop::app
