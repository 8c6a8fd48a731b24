#include "app/ui/preview_pane.h"

#include <QPainter>
#include <QVBoxLayout>

#include "app/ui/qt_text.h"

namespace veltrop::app {

ImageView::ImageView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(240, 180);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ImageView::setImage(QImage image) {
    image_ = std::move(image);
    update();
}

void ImageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x2b, 0x2b, 0x2e));
    if (image_.isNull()) return;
    QSizeF size = image_.size();
    size.scale(QSizeF(width() - 16, height() - 16), Qt::KeepAspectRatio);
    const QRectF target((width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height());
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image_);
}

PreviewPane::PreviewPane(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    title_ = makeHeader(QStringLiteral("Preview"), this);
    column->addWidget(title_);
    image_ = new ImageView(this);
    image_->setAccessibleName(QStringLiteral("Preview of the selected photo"));
    image_->setToolTip(QStringLiteral("The selected photo as it will be exported"));
    column->addWidget(image_, 1);
    error_ = new WarningRow(this);
    column->addWidget(error_);
    noDate_ = new WarningRow(this, calendarWarningSymbol(this));
    column->addWidget(noDate_);
    sync();
}

void PreviewPane::sync() {
    image_->setImage(model_.previewImage());
    error_->setMessage(model_.previewError() ? qs(*model_.previewError()) : QString());
    const auto* photo = model_.selectedPhoto();
    noDate_->setMessage(photo && !photo->captureDate ? QStringLiteral("This photo has no capture date") : QString());
    title_->setText(photo ? QStringLiteral("Preview \u2014 ") + qs(photo->url.filename().string())
                          : QStringLiteral("Preview"));
}

}  // namespace veltrop::app
