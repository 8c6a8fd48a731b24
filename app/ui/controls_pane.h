#pragma once
// The settings pane: preset bar, stamp, strip, photo records, output,
// format and watermark. Every control writes the model's configuration.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QWidget>

#include <functional>

#include "app/model/app_model.h"
#include "app/ui/corner_picker.h"
#include "app/ui/format_picker.h"
#include "app/ui/preset_bar.h"
#include "app/ui/watermark_section.h"

namespace veltrop::app {

namespace controlTexts {
inline constexpr const char* referencesHelp =
    "Project labels and photo references appear below the image in Data strip mode.";
inline constexpr const char* tokensNote = "Tokens: {name} {date} {time} {datetime} {reference} {project}";
}  // namespace controlTexts

class ControlsPane : public QWidget {
    Q_OBJECT
public:
    explicit ControlsPane(AppModel& model, QWidget* parent = nullptr);
    void sync();

    PresetBar* presetBar() const { return presetBar_; }
    FormatPicker* formatPicker() const { return formatPicker_; }
    WatermarkSection* watermarkSection() const { return watermark_; }
    QCheckBox* timestampBox() const { return timestamp_; }
    QComboBox* modeBox() const { return mode_; }
    QComboBox* themeBox() const { return theme_; }
    QLineEdit* projectTitleField() const { return projectTitle_; }
    QSpinBox* firstNumberBox() const { return firstNumber_; }
    QLabel* outputExplanation() const { return outputExplanation_; }
    QCheckBox* writeDatesBox() const { return writeDates_; }

private:
    void edit(const std::function<void(settings::StampConfiguration&)>& change);
    void editProject(const std::function<void(settings::PhotoProject&)>& change);
    QWidget* buildStamp();
    QWidget* buildStrip();
    QWidget* buildRecords();
    QWidget* buildOutput();

    AppModel& model_;
    PresetBar* presetBar_;
    FormatPicker* formatPicker_;
    WatermarkSection* watermark_;

    QCheckBox* timestamp_;
    QComboBox* mode_;
    QComboBox* theme_;
    CornerPicker* corner_;
    QSlider* size_;
    QComboBox* ink_;
    QComboBox* backing_;

    QWidget* strip_;
    QLineEdit* stripLabel_;
    QCheckBox* stripTimestamp_;
    QCheckBox* stripCamera_;
    QCheckBox* stripLens_;
    QCheckBox* stripExposure_;
    QComboBox* stripBar_;

    QLineEdit* projectTitle_;
    QLineEdit* projectLocation_;
    QLineEdit* prefix_;
    QSpinBox* firstNumber_;
    QCheckBox* showReferences_;

    QCheckBox* subfolders_;
    QCheckBox* removeGPS_;
    QCheckBox* keepQuality_;
    QCheckBox* writeDates_;
    QLabel* outputExplanation_;
    QLineEdit* filename_;
};

}  // namespace veltrop::app
