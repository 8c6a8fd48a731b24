#include "app/ui/watermark_section.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include "app/ui/qt_text.h"

namespace veltrop::app {

using settings::StampBacking;
using settings::StampInk;
using settings::WatermarkConfig;

namespace {

constexpr SliderScale sizeScale{WatermarkConfig::minimumSizeFraction, WatermarkConfig::maximumSizeFraction};
constexpr SliderScale opacityScale{WatermarkConfig::minimumOpacity, WatermarkConfig::maximumOpacity};
constexpr StampInk inks[] = {StampInk::white, StampInk::black, StampInk::amber};
constexpr StampBacking backings[] = {StampBacking::shadow, StampBacking::box, StampBacking::none};

QSlider* makeSlider(const QString& name, QWidget* parent) {
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(0, 1000);
    slider->setPageStep(100);
    slider->setAccessibleName(name);
    return slider;
}

}  // namespace

WatermarkSection::WatermarkSection(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(makeHeader(QStringLiteral("Watermark"), this));
    enabled_ = new QCheckBox(QStringLiteral("Enable watermark"), this);
    enabled_->setToolTip(QStringLiteral("Add a text or logo watermark to every copy"));
    column->addWidget(enabled_);

    details_ = new QWidget(this);
    auto* form = new QFormLayout(details_);
    form_ = form;
    form->setContentsMargins(0, 0, 0, 0);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    source_ = new QComboBox(details_);
    source_->addItems({QStringLiteral("Text"), QStringLiteral("Image")});
    source_->setAccessibleName(QStringLiteral("Watermark type"));
    source_->setToolTip(QStringLiteral("A line of text, or a logo image"));
    form->addRow(QStringLiteral("Typ&e"), source_);

    textRow_ = new QWidget(details_);
    auto* textLayout = new QHBoxLayout(textRow_);
    textLayout->setContentsMargins(0, 0, 0, 0);
    text_ = new QLineEdit(textRow_);
    text_->setPlaceholderText(qs("e.g. \u00A9 Northfield Surveys"));
    text_->setAccessibleName(QStringLiteral("Watermark text"));
    textLayout->addWidget(text_);
    form->addRow(QStringLiteral("Watermark te&xt"), textRow_);

    imageRow_ = new QWidget(details_);
    auto* imageLayout = new QVBoxLayout(imageRow_);
    imageLayout->setContentsMargins(0, 0, 0, 0);
    imageName_ = new QLabel(imageRow_);
    imageName_->setWordWrap(true);
    imageName_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* chooseImage = new QPushButton(QStringLiteral("Choose a watermark image"), imageRow_);
    chooseImage->setToolTip(qs(panelTexts::chooseWatermarkMessage));
    auto* useText = new QPushButton(QStringLiteral("Use a text watermark"), imageRow_);
    imageLayout->addWidget(imageName_);
    imageLayout->addWidget(chooseImage);
    imageLayout->addWidget(useText);
    form->addRow(QStringLiteral("&Image"), imageRow_);

    corner_ = new CornerPicker(QStringLiteral("Watermark position"), details_);
    form->addRow(QStringLiteral("P&osition"), corner_);
    size_ = makeSlider(QStringLiteral("Watermark size"), details_);
    form->addRow(QStringLiteral("Si&ze"), size_);
    opacity_ = makeSlider(QStringLiteral("Watermark opacity"), details_);
    form->addRow(QStringLiteral("O&pacity"), opacity_);
    ink_ = new QComboBox(details_);
    for (StampInk ink : inks) ink_->addItem(qs(settings::displayName(ink)));
    ink_->setAccessibleName(QStringLiteral("Watermark colour"));
    form->addRow(QStringLiteral("Colou&r"), ink_);
    backing_ = new QComboBox(details_);
    for (StampBacking backing : backings) backing_->addItem(qs(settings::displayName(backing)));
    backing_->setAccessibleName(QStringLiteral("Watermark backing"));
    form->addRow(QStringLiteral("Bac&king"), backing_);
    form->addRow(makeNote(QStringLiteral("Watermarks shrink to fit and move inward if they meet the timestamp."),
                          details_));
    column->addWidget(details_);

    message_ = new WarningRow(this);
    column->addWidget(message_);

    connect(enabled_, &QCheckBox::toggled, &model_, &AppModel::setWatermarkEnabled);
    connect(source_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index == 1) {
            model_.chooseWatermarkImage();
        } else {
            model_.useTextWatermark();
        }
        sync();  // a cancelled panel leaves the text source in place
    });
    connect(chooseImage, &QPushButton::clicked, &model_, &AppModel::chooseWatermarkImage);
    connect(useText, &QPushButton::clicked, &model_, &AppModel::useTextWatermark);
    connect(text_, &QLineEdit::textEdited, this, [this](const QString& text) {
        edit([&](WatermarkConfig& w) { w.source = settings::WatermarkSource::text(utf8(text)); });
    });
    connect(corner_, &CornerPicker::cornerChosen, this,
            [this](settings::StampCorner corner) { edit([&](WatermarkConfig& w) { w.corner = corner; }); });
    connect(size_, &QSlider::valueChanged, this,
            [this](int value) { edit([&](WatermarkConfig& w) { w.sizeFraction = sizeScale.fromSlider(value); }); });
    connect(opacity_, &QSlider::valueChanged, this,
            [this](int value) { edit([&](WatermarkConfig& w) { w.opacity = opacityScale.fromSlider(value); }); });
    connect(ink_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) edit([&](WatermarkConfig& w) { w.ink = inks[index]; });
    });
    connect(backing_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) edit([&](WatermarkConfig& w) { w.backing = backings[index]; });
    });
    sync();
}

void WatermarkSection::edit(const std::function<void(WatermarkConfig&)>& change) {
    auto configuration = model_.configuration();
    if (!configuration.watermark) return;
    change(*configuration.watermark);
    model_.setConfiguration(configuration);
}

void WatermarkSection::sync() {
    const auto& watermark = model_.configuration().watermark;
    {
        const QSignalBlocker block(enabled_);
        enabled_->setChecked(watermark.has_value());
    }
    details_->setEnabled(watermark.has_value());
    const WatermarkConfig shown = watermark.value_or(settings::defaultWatermark());
    const bool isImage = shown.source.imageValue() != nullptr;
    setIndexQuietly(source_, isImage ? 1 : 0);
    if (auto* item = qobject_cast<QStandardItemModel*>(source_->model())) item->item(1)->setEnabled(model_.hasWatermarkStore());
    form_->setRowVisible(textRow_, !isImage);
    form_->setRowVisible(imageRow_, isImage);
    setTextQuietly(text_, shown.source.textValue() ? qs(*shown.source.textValue()) : QString());
    imageName_->setText(model_.watermarkImageName() ? qs(*model_.watermarkImageName())
                                                    : QStringLiteral("Imported image"));
    corner_->setCorner(shown.corner);
    {
        const QSignalBlocker blockSize(size_), blockOpacity(opacity_);
        size_->setValue(sizeScale.toSlider(shown.sizeFraction));
        opacity_->setValue(opacityScale.toSlider(shown.opacity));
    }
    for (int i = 0; i < 3; ++i) {
        if (inks[i] == shown.ink) setIndexQuietly(ink_, i);
        if (backings[i] == shown.backing) setIndexQuietly(backing_, i);
    }
    message_->setMessage(model_.watermarkMessage() ? qs(*model_.watermarkMessage()) : QString());
}

}  // namespace veltrop::app
