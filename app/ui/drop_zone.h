#pragma once
// Shown while the batch is empty: where photos are dropped or chosen.

#include <QPushButton>
#include <QWidget>

#include "app/model/app_model.h"

namespace veltrop::app {

namespace dropZoneTexts {
inline constexpr const char* choosePhotos = "Choose Photos\u2026";
inline constexpr const char* chooseFolder = "Choose Folder\u2026";
}  // namespace dropZoneTexts

class DropZone : public QWidget {
    Q_OBJECT
public:
    explicit DropZone(AppModel& model, QWidget* parent = nullptr);
    // The window handles drops; it tells the zone while a drag hovers.
    void setHighlighted(bool on);
    bool isHighlighted() const { return highlighted_; }
    QPushButton* chooseButton() const { return choose_; }
    QPushButton* chooseFolderButton() const { return chooseFolder_; }

signals:
    void choosePhotosRequested();
    void choosePhotoFolderRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPushButton* choose_;
    QPushButton* chooseFolder_;
    bool highlighted_ = false;
};

}  // namespace veltrop::app
