#pragma once
// Shown while the batch is empty: where photos are dropped or chosen.

#include <QPushButton>
#include <QWidget>

#include "app/model/app_model.h"

namespace veltrop::app {

class DropZone : public QWidget {
    Q_OBJECT
public:
    explicit DropZone(AppModel& model, QWidget* parent = nullptr);
    // The window handles drops; it tells the zone while a drag hovers.
    void setHighlighted(bool on);
    bool isHighlighted() const { return highlighted_; }
    QPushButton* chooseButton() const { return choose_; }

signals:
    void choosePhotosRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* choose_;
    bool highlighted_ = false;
};

}  // namespace veltrop::app
