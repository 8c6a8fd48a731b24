#include "app/ui/package_check_view.h"

#include <QVBoxLayout>

#include "app/ui/qt_text.h"

namespace veltrop::app {

PackageCheckView::PackageCheckView(std::filesystem::path package, handover::OriginalFiles originals, QWidget* parent)
    : QWidget(parent), package_(std::move(package)), originals_(std::move(originals)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    button_ = new QPushButton(qs(packageCheckTexts::button), this);
    button_->setAutoDefault(false);
    button_->setToolTip(qs(packageCheckTexts::tooltip));
    column->addWidget(button_, 0, Qt::AlignLeft);
    result_ = new QLabel(this);
    result_->setWordWrap(true);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    result_->setVisible(false);
    column->addWidget(result_);

    connect(button_, &QPushButton::clicked, this, [this] {
        button_->setEnabled(false);
        result_->setText(qs(packageCheckTexts::running));
        result_->setVisible(true);
        verifier_.start(package_, originals_);
    });
    connect(&verifier_, &PackageVerifier::finished, this, &PackageCheckView::showResult);
}

void PackageCheckView::showResult() {
    button_->setEnabled(true);
    if (const auto& result = verifier_.result()) result_->setText(qs(verificationText(*result)));
}

}  // namespace veltrop::app
