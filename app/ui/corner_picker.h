#pragma once
// Four corner buttons in a 2 × 2 grid, top row first.

#include <QButtonGroup>
#include <QWidget>

#include "kit/settings/stamp_style.h"

namespace veltrop::app {

class CornerPicker : public QWidget {
    Q_OBJECT
public:
    explicit CornerPicker(const QString& accessibleName, QWidget* parent = nullptr);
    settings::StampCorner corner() const { return corner_; }
    void setCorner(settings::StampCorner corner);

signals:
    void cornerChosen(veltrop::settings::StampCorner corner);

private:
    QButtonGroup group_;
    settings::StampCorner corner_ = settings::StampCorner::bottomRight;
};

}  // namespace veltrop::app
