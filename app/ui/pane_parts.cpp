#include "app/ui/pane_parts.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QStyle>

#include <algorithm>
#include <cmath>

namespace veltrop::app {

QLabel* makeHeader(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setContentsMargins(0, 8, 0, 2);
    return label;
}

QLabel* makeNote(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    return label;
}

void pointBuddiesAtInputs(QWidget* root) {
    for (QFormLayout* form : root->findChildren<QFormLayout*>()) {
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem* labelItem = form->itemAt(row, QFormLayout::LabelRole);
            QLayoutItem* fieldItem = form->itemAt(row, QFormLayout::FieldRole);
            auto* label = labelItem ? qobject_cast<QLabel*>(labelItem->widget()) : nullptr;
            QWidget* field = fieldItem ? fieldItem->widget() : nullptr;
            if (!label || !field || field->focusPolicy() != Qt::NoFocus) continue;
            for (QWidget* child : field->findChildren<QWidget*>()) {
                if (child->focusPolicy() & Qt::TabFocus) {
                    label->setBuddy(child);
                    break;
                }
            }
        }
    }
}

QPixmap warningSymbol(const QWidget* widget, int size) {
    return widget->style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, widget).pixmap(size, size);
}

QPixmap calendarWarningSymbol(const QWidget* widget, int size) {
    const qreal ratio = widget->devicePixelRatioF();
    QPixmap pixmap(QSize(size, size) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0xb2, 0x6a, 0x00);
    painter.setPen(QPen(ink, 1.4));
    const qreal s = size;
    painter.drawRoundedRect(QRectF(1, 2.5, s - 2, s - 3.5), 2, 2);
    painter.fillRect(QRectF(1, 2.5, s - 2, s * 0.22), ink);
    painter.drawLine(QPointF(s * 0.3, 0.5), QPointF(s * 0.3, 3.5));
    painter.drawLine(QPointF(s * 0.7, 0.5), QPointF(s * 0.7, 3.5));
    QFont font = widget->font();
    font.setBold(true);
    font.setPixelSize(static_cast<int>(s * 0.6));
    painter.setFont(font);
    painter.drawText(QRectF(0, s * 0.3, s, s * 0.7), Qt::AlignCenter, QStringLiteral("!"));
    return pixmap;
}

WarningRow::WarningRow(QWidget* parent, QPixmap symbol) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 2, 0, 2);
    auto* icon = new QLabel(this);
    icon->setPixmap(symbol.isNull() ? warningSymbol(this) : symbol);
    icon->setAlignment(Qt::AlignTop);
    text_ = new QLabel(this);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addWidget(text_, 1);
    hide();
}

void WarningRow::setMessage(const QString& text) {
    text_->setText(text);
    setAccessibleName(text);
    setVisible(!text.isEmpty());
}

QString WarningRow::message() const { return isVisibleTo(parentWidget()) ? text_->text() : QString(); }

int SliderScale::toSlider(double value) const {
    const double clamped = std::clamp(value, minimum, maximum);
    return static_cast<int>(std::lround((clamped - minimum) / (maximum - minimum) * 1000.0));
}

double SliderScale::fromSlider(int position) const { return minimum + (maximum - minimum) * position / 1000.0; }

}  // namespace veltrop::app
