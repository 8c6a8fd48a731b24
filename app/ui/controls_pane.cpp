#include "app/ui/controls_pane.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "app/ui/pane_parts.h"
#include "app/ui/qt_text.h"

namespace veltrop::app {

using settings::StampBacking;
using settings::StampConfiguration;
using settings::StampInk;
using settings::StampMode;
using settings::StampTheme;
using settings::StripBackground;

namespace {

constexpr SliderScale sizeScale{settings::StampStyle::minimumSizeFraction, settings::StampStyle::maximumSizeFraction};
constexpr StampInk inks[] = {StampInk::white, StampInk::black, StampInk::amber};
constexpr StampBacking backings[] = {StampBacking::shadow, StampBacking::box, StampBacking::none};
constexpr StripBackground bars[] = {StripBackground::white, StripBackground::black};

template <class E, std::size_t N>
QComboBox* makeChoice(const E (&values)[N], const QString& name, QWidget* parent) {
    auto* box = new QComboBox(parent);
    for (E value : values) box->addItem(qs(settings::displayName(value)));
    box->setAccessibleName(name);
    return box;
}

template <class E, std::size_t N>
void showChoice(QComboBox* box, const E (&values)[N], E value) {
    for (std::size_t i = 0; i < N; ++i)
        if (values[i] == value) setIndexQuietly(box, static_cast<int>(i));
}

void setChecked(QCheckBox* box, bool on) {
    const QSignalBlocker block(box);
    box->setChecked(on);
}

QFormLayout* makeForm(QWidget* owner) {
    auto* form = new QFormLayout(owner);
    form->setContentsMargins(0, 0, 0, 0);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setRowWrapPolicy(QFormLayout::DontWrapRows);
    return form;
}

}  // namespace

ControlsPane::ControlsPane(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 8, 12, 12);
    presetBar_ = new PresetBar(model_, this);
    column->addWidget(presetBar_);
    column->addWidget(buildStamp());
    column->addWidget(buildStrip());
    formatPicker_ = new FormatPicker(model_, this);
    column->addWidget(formatPicker_);
    watermark_ = new WatermarkSection(model_, this);
    column->addWidget(watermark_);
    column->addWidget(buildRecords());
    column->addWidget(buildOutput());
    column->addStretch(1);
    pointBuddiesAtInputs(this);
    sync();
}

void ControlsPane::edit(const std::function<void(StampConfiguration&)>& change) {
    StampConfiguration configuration = model_.configuration();
    change(configuration);
    model_.setConfiguration(configuration);
}

void ControlsPane::editProject(const std::function<void(settings::PhotoProject&)>& change) {
    edit([&](StampConfiguration& c) {
        if (!c.project) c.project = settings::defaultProject();
        change(*c.project);
    });
}

QWidget* ControlsPane::buildStamp() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(makeHeader(QStringLiteral("Stamp"), box));
    auto* formOwner = new QWidget(box);
    auto* form = makeForm(formOwner);
    timestamp_ = new QCheckBox(QStringLiteral("Enable timestamp"), formOwner);
    timestamp_->setToolTip(QStringLiteral("Print the capture date and time on each copy"));
    form->addRow(QStringLiteral("&Timestamp"), timestamp_);
    mode_ = new QComboBox(formOwner);
    mode_->addItems({QStringLiteral("Overlay"), QStringLiteral("Data strip")});
    mode_->setAccessibleName(QStringLiteral("Mode"));
    mode_->setToolTip(QStringLiteral("Overlay prints on the picture; Data strip adds a band below it"));
    form->addRow(QStringLiteral("&Mode"), mode_);
    theme_ = new QComboBox(formOwner);
    theme_->addItems({QStringLiteral("Clean"), QStringLiteral("Retro")});
    theme_->setAccessibleName(QStringLiteral("Style"));
    theme_->setToolTip(QStringLiteral("Clean text, or amber seven-segment digits"));
    form->addRow(QStringLiteral("St&yle"), theme_);
    form->addRow(makeHeader(QStringLiteral("Appearance"), formOwner));
    corner_ = new CornerPicker(QStringLiteral("Position"), formOwner);
    form->addRow(QStringLiteral("&Position"), corner_);
    size_ = new QSlider(Qt::Horizontal, formOwner);
    size_->setRange(0, 1000);
    size_->setPageStep(100);
    size_->setAccessibleName(QStringLiteral("Size"));
    size_->setToolTip(QStringLiteral("Height of the date as a share of the photo's shorter side"));
    form->addRow(QStringLiteral("Si&ze"), size_);
    ink_ = makeChoice(inks, QStringLiteral("Colour"), formOwner);
    form->addRow(QStringLiteral("&Colour"), ink_);
    backing_ = makeChoice(backings, QStringLiteral("Backing"), formOwner);
    form->addRow(QStringLiteral("&Backing"), backing_);
    column->addWidget(formOwner);

    connect(timestamp_, &QCheckBox::toggled, this,
            [this](bool on) { edit([&](StampConfiguration& c) { c.timestampEnabled = on; }); });
    connect(mode_, &QComboBox::currentIndexChanged, this, [this](int index) {
        edit([&](StampConfiguration& c) { c.style.mode = index == 1 ? StampMode::dataStrip : StampMode::overlay; });
    });
    connect(theme_, &QComboBox::currentIndexChanged, this, [this](int index) {
        edit([&](StampConfiguration& c) { c.style.theme = index == 1 ? StampTheme::retro : StampTheme::clean; });
    });
    connect(corner_, &CornerPicker::cornerChosen, this,
            [this](settings::StampCorner corner) { edit([&](StampConfiguration& c) { c.style.corner = corner; }); });
    connect(size_, &QSlider::valueChanged, this, [this](int value) {
        edit([&](StampConfiguration& c) { c.style.sizeFraction = sizeScale.fromSlider(value); });
    });
    connect(ink_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) edit([&](StampConfiguration& c) { c.style.ink = inks[index]; });
    });
    connect(backing_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) edit([&](StampConfiguration& c) { c.style.backing = backings[index]; });
    });
    return box;
}

QWidget* ControlsPane::buildStrip() {
    strip_ = new QWidget(this);
    auto* column = new QVBoxLayout(strip_);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(makeHeader(QStringLiteral("Strip"), strip_));
    auto* formOwner = new QWidget(strip_);
    auto* form = makeForm(formOwner);
    stripLabel_ = new QLineEdit(formOwner);
    stripLabel_->setAccessibleName(QStringLiteral("Strip label text"));
    stripLabel_->setPlaceholderText(QStringLiteral("e.g. North bridge inspection"));
    stripLabel_->setToolTip(QStringLiteral("The label at the start of the data strip; the project title stands in when empty"));
    form->addRow(QStringLiteral("&Label"), stripLabel_);
    auto* toggles = new QWidget(formOwner);
    auto* grid = new QGridLayout(toggles);
    grid->setContentsMargins(0, 0, 0, 0);
    stripTimestamp_ = new QCheckBox(QStringLiteral("Timestamp"), toggles);
    stripCamera_ = new QCheckBox(QStringLiteral("Camera"), toggles);
    stripLens_ = new QCheckBox(QStringLiteral("Lens"), toggles);
    stripExposure_ = new QCheckBox(QStringLiteral("Exposure"), toggles);
    stripTimestamp_->setAccessibleName(QStringLiteral("Show timestamp in strip"));
    stripCamera_->setAccessibleName(QStringLiteral("Show camera in strip"));
    stripLens_->setAccessibleName(QStringLiteral("Show lens in strip"));
    stripExposure_->setAccessibleName(QStringLiteral("Show exposure in strip"));
    grid->addWidget(stripTimestamp_, 0, 0);
    grid->addWidget(stripCamera_, 0, 1);
    grid->addWidget(stripLens_, 1, 0);
    grid->addWidget(stripExposure_, 1, 1);
    form->addRow(QStringLiteral("Sho&w"), toggles);
    stripBar_ = makeChoice(bars, QStringLiteral("Bar"), formOwner);
    stripBar_->setToolTip(QStringLiteral("The strip's background"));
    form->addRow(QStringLiteral("B&ar"), stripBar_);
    column->addWidget(formOwner);

    connect(stripLabel_, &QLineEdit::textEdited, this,
            [this](const QString& text) { edit([&](StampConfiguration& c) { c.strip.label = utf8(text); }); });
    const std::pair<QCheckBox*, bool settings::DataStripConfig::*> toggleFields[] = {
        {stripTimestamp_, &settings::DataStripConfig::showTimestamp},
        {stripCamera_, &settings::DataStripConfig::showCamera},
        {stripLens_, &settings::DataStripConfig::showLens},
        {stripExposure_, &settings::DataStripConfig::showExposure}};
    for (auto [box, field] : toggleFields) {
        connect(box, &QCheckBox::toggled, this,
                [this, field](bool on) { edit([&](StampConfiguration& c) { c.strip.*field = on; }); });
    }
    connect(stripBar_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) edit([&](StampConfiguration& c) { c.strip.background = bars[index]; });
    });
    return strip_;
}

QWidget* ControlsPane::buildRecords() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(makeHeader(QStringLiteral("Photo records"), box));
    auto* formOwner = new QWidget(box);
    auto* form = makeForm(formOwner);
    projectTitle_ = new QLineEdit(formOwner);
    projectTitle_->setPlaceholderText(QStringLiteral("e.g. Rainforest survey"));
    projectTitle_->setAccessibleName(QStringLiteral("Project title"));
    form->addRow(QStringLiteral("Pro&ject title"), projectTitle_);
    projectLocation_ = new QLineEdit(formOwner);
    projectLocation_->setPlaceholderText(QStringLiteral("Optional location label"));
    projectLocation_->setAccessibleName(QStringLiteral("Project location label"));
    form->addRow(QStringLiteral("Lo&cation label"), projectLocation_);
    auto* referenceRow = new QWidget(formOwner);
    auto* referenceLayout = new QHBoxLayout(referenceRow);
    referenceLayout->setContentsMargins(0, 0, 0, 0);
    prefix_ = new QLineEdit(referenceRow);
    prefix_->setAccessibleName(QStringLiteral("Photo reference prefix"));
    prefix_->setMaximumWidth(110);
    firstNumber_ = new QSpinBox(referenceRow);
    firstNumber_->setRange(1, 999999);  // references count from 1
    firstNumber_->setPrefix(QStringLiteral("Start "));
    firstNumber_->setAccessibleName(QStringLiteral("First photo reference number"));
    referenceLayout->addWidget(prefix_, 1);
    referenceLayout->addWidget(firstNumber_);
    form->addRow(QStringLiteral("Reference p&refix"), referenceRow);
    showReferences_ = new QCheckBox(QStringLiteral("Show references in data strips"), formOwner);
    showReferences_->setToolTip(qs(controlTexts::referencesHelp));
    showReferences_->setWhatsThis(qs(controlTexts::referencesHelp));
    form->addRow(showReferences_);
    column->addWidget(formOwner);

    connect(projectTitle_, &QLineEdit::textEdited, this,
            [this](const QString& text) { editProject([&](settings::PhotoProject& p) { p.title = utf8(text); }); });
    connect(projectLocation_, &QLineEdit::textEdited, this,
            [this](const QString& text) { editProject([&](settings::PhotoProject& p) { p.location = utf8(text); }); });
    connect(prefix_, &QLineEdit::textEdited, this, [this](const QString& text) {
        editProject([&](settings::PhotoProject& p) { p.referencePrefix = utf8(text); });
    });
    connect(firstNumber_, &QSpinBox::valueChanged, this,
            [this](int value) { editProject([&](settings::PhotoProject& p) { p.firstNumber = value; }); });
    connect(showReferences_, &QCheckBox::toggled, this,
            [this](bool on) { editProject([&](settings::PhotoProject& p) { p.showInStrip = on; }); });
    return box;
}

QWidget* ControlsPane::buildOutput() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(makeHeader(QStringLiteral("Output"), box));
    subfolders_ = new QCheckBox(QStringLiteral("Include subfolders"), box);
    subfolders_->setToolTip(QStringLiteral("Also find photos in the folders inside dropped folders"));
    removeGPS_ = new QCheckBox(QStringLiteral("Remove GPS location"), box);
    removeGPS_->setToolTip(QStringLiteral("Leave the GPS position out of the copies' metadata"));
    keepQuality_ = new QCheckBox(QStringLiteral("Keep original quality"), box);
    keepQuality_->setToolTip(QStringLiteral(
        "JPEG copies keep the photo's own data outside the stamp instead of being encoded again"));
    writeDates_ = new QCheckBox(QStringLiteral("Write corrected dates into the copies"), box);
    writeDates_->setToolTip(QStringLiteral(
        "Copies whose date was corrected or supplied in the date review record that date as their "
        "capture date; otherwise they keep the photo's own dates"));
    column->addWidget(subfolders_);
    column->addWidget(removeGPS_);
    column->addWidget(keepQuality_);
    column->addWidget(writeDates_);
    // The destination itself is chosen beside the export button; this says what it means.
    outputExplanation_ = makeNote(QString(), box);
    outputExplanation_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(outputExplanation_);
    auto* formOwner = new QWidget(box);
    auto* form = makeForm(formOwner);
    filename_ = new QLineEdit(formOwner);
    filename_->setAccessibleName(QStringLiteral("Output filename template"));
    filename_->setToolTip(qs(controlTexts::tokensNote));
    form->addRow(QStringLiteral("F&ilename"), filename_);
    form->addRow(makeNote(qs(controlTexts::tokensNote), formOwner));
    column->addWidget(formOwner);

    connect(subfolders_, &QCheckBox::toggled, this,
            [this](bool on) { edit([&](StampConfiguration& c) { c.includeSubfolders = on; }); });
    connect(removeGPS_, &QCheckBox::toggled, this,
            [this](bool on) { edit([&](StampConfiguration& c) { c.removeGPS = on; }); });
    connect(keepQuality_, &QCheckBox::toggled, this,
            [this](bool on) { edit([&](StampConfiguration& c) { c.keepOriginalQuality = on; }); });
    connect(writeDates_, &QCheckBox::toggled, this,
            [this](bool on) { edit([&](StampConfiguration& c) { c.writeCorrectedDates = on; }); });
    connect(filename_, &QLineEdit::textEdited, this,
            [this](const QString& text) { edit([&](StampConfiguration& c) { c.naming.template_ = utf8(text); }); });
    return box;
}

void ControlsPane::sync() {
    const StampConfiguration& c = model_.configuration();
    setChecked(timestamp_, c.timestampEnabled);
    setIndexQuietly(mode_, c.style.mode == StampMode::dataStrip ? 1 : 0);
    setIndexQuietly(theme_, c.style.theme == StampTheme::retro ? 1 : 0);
    corner_->setCorner(c.style.corner);
    {
        const QSignalBlocker block(size_);
        size_->setValue(sizeScale.toSlider(c.style.sizeFraction));
    }
    showChoice(ink_, inks, settings::effectiveInk(c.style));
    const bool retro = c.style.theme == StampTheme::retro;
    ink_->setEnabled(!retro);
    ink_->setToolTip(retro ? QStringLiteral("Retro digits are always amber") : QStringLiteral("Colour of the date"));
    showChoice(backing_, backings, c.style.backing);

    strip_->setEnabled(c.style.mode == StampMode::dataStrip);
    strip_->setToolTip(c.style.mode == StampMode::dataStrip ? QString()
                                                             : QStringLiteral("Choose the Data strip mode to use these"));
    setTextQuietly(stripLabel_, qs(c.strip.label));
    setChecked(stripTimestamp_, c.strip.showTimestamp);
    setChecked(stripCamera_, c.strip.showCamera);
    setChecked(stripLens_, c.strip.showLens);
    setChecked(stripExposure_, c.strip.showExposure);
    showChoice(stripBar_, bars, c.strip.background);

    const settings::PhotoProject& project = settings::effectiveProject(c);
    setTextQuietly(projectTitle_, qs(project.title));
    setTextQuietly(projectLocation_, qs(project.location));
    setTextQuietly(prefix_, qs(project.referencePrefix));
    {
        const QSignalBlocker block(firstNumber_);
        firstNumber_->setValue(static_cast<int>(project.firstNumber));
    }
    setChecked(showReferences_, project.showInStrip);

    setChecked(subfolders_, c.includeSubfolders);
    setChecked(removeGPS_, c.removeGPS);
    setChecked(keepQuality_, c.keepOriginalQuality);
    setChecked(writeDates_, c.writeCorrectedDates);
    outputExplanation_->setText(qs(model_.outputDescription().explanation));
    setTextQuietly(filename_, qs(c.naming.template_));

    presetBar_->sync();
    formatPicker_->sync();
    watermark_->sync();
    setEnabled(!model_.isRunning());
}

}  // namespace veltrop::app
