#pragma once
// Watermark settings: a text or an imported logo, its size, opacity and look.

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QWidget>

#include "app/model/app_model.h"
#include "app/ui/corner_picker.h"
#include "app/ui/pane_parts.h"

namespace veltrop::app {

class WatermarkSection : public QWidget {
    Q_OBJECT
public:
    explicit WatermarkSection(AppModel& model, QWidget* parent = nullptr);
    void sync();

    QCheckBox* enableBox() const { return enabled_; }
    QComboBox* sourceBox() const { return source_; }
    QLineEdit* textField() const { return text_; }

private:
    void edit(const std::function<void(settings::WatermarkConfig&)>& change);

    AppModel& model_;
    QCheckBox* enabled_;
    QWidget* details_;
    QFormLayout* form_;
    QComboBox* source_;
    QWidget* textRow_;
    QLineEdit* text_;
    QWidget* imageRow_;
    QLabel* imageName_;
    CornerPicker* corner_;
    QSlider* size_;
    QSlider* opacity_;
    QComboBox* ink_;
    QComboBox* backing_;
    WarningRow* message_;
};

}  // namespace veltrop::app
