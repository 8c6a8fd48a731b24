#pragma once
// The choices that decide what Export does, kept beside the export button:
// whether a handover package is made, and where the copies go.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include "app/model/app_model.h"

namespace veltrop::app {

namespace destinationTexts {
inline constexpr const char* packageToggle = "Include contact sheet and photo index";
inline constexpr const char* packageHelp =
    "A new folder contains JPEG copies, a PDF contact sheet and a CSV index. Reports omit embedded GPS coordinates "
    "and include the location label you enter.";
inline constexpr const char* chooseOutput = "Choose output folder";
inline constexpr const char* resetHelp = "Reset to the default output folder";
}  // namespace destinationTexts

class DestinationBar : public QWidget {
    Q_OBJECT
public:
    explicit DestinationBar(AppModel& model, QWidget* parent = nullptr);
    void sync();

    QCheckBox* packageBox() const { return package_; }
    QLabel* outputLabel() const { return outputLabel_; }
    QPushButton* chooseButton() const { return choose_; }
    QPushButton* resetButton() const { return reset_; }

private:
    AppModel& model_;
    QCheckBox* package_;
    QLabel* outputLabel_;
    QPushButton* choose_;
    QPushButton* reset_;
};

}  // namespace veltrop::app
