#include "app/ui/corner_picker.h"

#include <QGridLayout>
#include <QToolButton>

#include "app/ui/qt_text.h"

namespace veltrop::app {

using settings::StampCorner;

namespace {

// Arrows pointing into each corner, in the grid's order.
constexpr struct {
    StampCorner corner;
    int row, column;
    const char* glyph;
} cornerButtons[] = {
    {StampCorner::topLeft, 0, 0, "\u2196"},
    {StampCorner::topRight, 0, 1, "\u2197"},
    {StampCorner::bottomLeft, 1, 0, "\u2199"},
    {StampCorner::bottomRight, 1, 1, "\u2198"},
};

}  // namespace

CornerPicker::CornerPicker(const QString& accessibleName, QWidget* parent) : QWidget(parent) {
    setAccessibleName(accessibleName);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    group_.setExclusive(true);
    for (const auto& entry : cornerButtons) {
        auto* button = new QToolButton(this);
        button->setText(qs(entry.glyph));
        button->setCheckable(true);
        button->setAutoRaise(false);
        button->setFixedSize(30, 24);
        const QString name = qs(settings::displayName(entry.corner));
        button->setToolTip(name);
        button->setAccessibleName(accessibleName + QStringLiteral(": ") + name);
        group_.addButton(button, static_cast<int>(entry.corner));
        grid->addWidget(button, entry.row, entry.column);
    }
    grid->setColumnStretch(2, 1);
    connect(&group_, &QButtonGroup::idClicked, this, [this](int id) {
        corner_ = static_cast<StampCorner>(id);
        emit cornerChosen(corner_);
    });
    setCorner(corner_);
}

void CornerPicker::setCorner(StampCorner corner) {
    corner_ = corner;
    if (auto* button = group_.button(static_cast<int>(corner))) button->setChecked(true);
}

}  // namespace veltrop::app
