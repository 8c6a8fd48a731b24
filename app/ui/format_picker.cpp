#include "app/ui/format_picker.h"

#include <QFormLayout>
#include <QVBoxLayout>

#include "app/ui/qt_text.h"

namespace veltrop::app {

FormatPicker::FormatPicker(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(makeHeader(QStringLiteral("Format"), this));

    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    formats_ = new QComboBox(this);
    formats_->setAccessibleName(QStringLiteral("Date format"));
    formats_->setToolTip(QStringLiteral("How the capture date is written on the copies"));
    for (const auto& format : settings::builtInFormats()) formats_->addItem(qs(format.name));
    formats_->addItem(qs(modelTexts::customFormatName));
    form->addRow(QStringLiteral("&Date format"), formats_);
    column->addLayout(form);

    customRow_ = new QWidget(this);
    auto* customForm = new QFormLayout(customRow_);
    customForm->setContentsMargins(0, 0, 0, 0);
    customForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    pattern_ = new QLineEdit(customRow_);
    pattern_->setAccessibleName(QStringLiteral("Pattern"));
    pattern_->setToolTip(QStringLiteral("Your own date pattern"));
    customForm->addRow(QStringLiteral("Patter&n"), pattern_);
    customForm->addRow(makeNote(qs("d M y  H m s  a  \u2014 quote literal text: 'at'"), customRow_));
    column->addWidget(customRow_);

    retroWarning_ = new WarningRow(this);
    column->addWidget(retroWarning_);

    connect(formats_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto builtIns = settings::builtInFormats();
        if (index >= 0 && static_cast<std::size_t>(index) < builtIns.size())
            model_.chooseFormat(builtIns[static_cast<std::size_t>(index)]);
        else
            model_.chooseCustomFormat();
    });
    connect(pattern_, &QLineEdit::textEdited, this,
            [this](const QString& text) { model_.setCustomPattern(utf8(text)); });
    sync();
}

void FormatPicker::sync() {
    const auto builtIns = settings::builtInFormats();
    int index = static_cast<int>(builtIns.size());
    if (!model_.usingCustomFormat()) {
        for (std::size_t i = 0; i < builtIns.size(); ++i)
            if (builtIns[i] == model_.configuration().format) index = static_cast<int>(i);
    }
    setIndexQuietly(formats_, index);
    customRow_->setVisible(model_.usingCustomFormat());
    setTextQuietly(pattern_, qs(model_.customPattern()));
    const std::string unsupported = model_.retroUnsupportedCharacters();
    retroWarning_->setMessage(unsupported.empty() ? QString()
                                                  : qs("The retro display cannot show \u201C" + unsupported +
                                                       "\u201D. Choose a numeric format."));
}

}  // namespace veltrop::app
