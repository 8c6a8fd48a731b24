#pragma once
// The live preview of the selected photo.

#include <QImage>
#include <QLabel>
#include <QWidget>

#include "app/model/app_model.h"
#include "app/ui/pane_parts.h"

namespace veltrop::app {

// Paints an image scaled to fit, centred, on a dark backdrop.
class ImageView : public QWidget {
public:
    explicit ImageView(QWidget* parent = nullptr);
    void setImage(QImage image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

class PreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPane(AppModel& model, QWidget* parent = nullptr);
    void sync();

    ImageView* imageView() const { return image_; }
    QString errorText() const { return error_->message(); }
    QString noDateText() const { return noDate_->message(); }

private:
    AppModel& model_;
    QLabel* title_;
    ImageView* image_;
    WarningRow* error_;
    WarningRow* noDate_;
};

}  // namespace veltrop::app
