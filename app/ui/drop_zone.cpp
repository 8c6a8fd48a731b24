#include "app/ui/drop_zone.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/ui/pane_parts.h"
#include "app/ui/qt_text.h"

namespace veltrop::app {

namespace {

// Two stacked photo frames with a small sun and mountain.
class StackedPhotosSymbol : public QWidget {
public:
    explicit StackedPhotosSymbol(QWidget* parent) : QWidget(parent) { setFixedSize(84, 68); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor ink = palette().color(QPalette::WindowText);
        QPen pen(ink, 2.5);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        painter.drawRoundedRect(QRectF(18, 4, 62, 46), 6, 6);
        painter.setBrush(palette().color(QPalette::Window));
        painter.drawRoundedRect(QRectF(4, 16, 62, 46), 6, 6);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(50, 29), 5, 5);
        QPainterPath hills;
        hills.moveTo(8, 56);
        hills.lineTo(26, 36);
        hills.lineTo(40, 50);
        hills.lineTo(48, 43);
        hills.lineTo(62, 56);
        painter.drawPath(hills);
    }
};

}  // namespace

DropZone::DropZone(AppModel&, QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Drop photos or a folder here"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(32, 32, 32, 32);
    column->addStretch(1);
    column->addWidget(new StackedPhotosSymbol(this), 0, Qt::AlignHCenter);
    auto* title = new QLabel(QStringLiteral("Drop photos or a folder here"), this);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.5);
    font.setBold(true);
    title->setFont(font);
    title->setAlignment(Qt::AlignCenter);
    title->setWordWrap(true);
    column->addWidget(title);
    auto* formats = new QLabel(qs("JPEG and HEIC \u2014 originals are never changed"), this);
    formats->setAlignment(Qt::AlignCenter);
    formats->setWordWrap(true);
    column->addWidget(formats);
    auto* survey = makeNote(QStringLiteral("Check dates, label your photos and export a contact sheet with an index."), this);
    survey->setAlignment(Qt::AlignCenter);
    column->addWidget(survey);
    column->addSpacing(8);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    choose_ = new QPushButton(qs(dropZoneTexts::choosePhotos), this);
    choose_->setToolTip(qs(panelTexts::choosePhotosMessage) + QStringLiteral(" (Ctrl+O)"));
    chooseFolder_ = new QPushButton(qs(dropZoneTexts::chooseFolder), this);
    chooseFolder_->setToolTip(qs(panelTexts::choosePhotoFolderMessage) + QStringLiteral(" (Ctrl+Shift+O)"));
    buttons->addWidget(choose_);
    buttons->addWidget(chooseFolder_);
    buttons->addStretch(1);
    column->addLayout(buttons);
    column->addStretch(1);
    connect(choose_, &QPushButton::clicked, this, &DropZone::choosePhotosRequested);
    connect(chooseFolder_, &QPushButton::clicked, this, &DropZone::choosePhotoFolderRequested);
}

void DropZone::setHighlighted(bool on) {
    if (highlighted_ == on) return;
    highlighted_ = on;
    update();
}

void DropZone::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(12, 12, -12, -12);
    QColor line = highlighted_ ? palette().color(QPalette::Highlight) : palette().color(QPalette::Mid);
    QPen pen(line, highlighted_ ? 3 : 2, Qt::DashLine);
    painter.setPen(pen);
    QColor fill = palette().color(QPalette::Highlight);
    fill.setAlpha(highlighted_ ? 40 : 0);
    painter.setBrush(fill);
    painter.drawRoundedRect(frame, 14, 14);
}

}  // namespace veltrop::app
