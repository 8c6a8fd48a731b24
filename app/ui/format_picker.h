#pragma once
// The date format: a built-in format or the user's own pattern.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include "app/model/app_model.h"
#include "app/ui/pane_parts.h"

namespace veltrop::app {

class FormatPicker : public QWidget {
    Q_OBJECT
public:
    explicit FormatPicker(AppModel& model, QWidget* parent = nullptr);
    void sync();

    QComboBox* formatBox() const { return formats_; }
    QLineEdit* patternField() const { return pattern_; }
    // The retro warning, empty when the pattern is fine.
    QString retroWarning() const { return retroWarning_->message(); }

private:
    AppModel& model_;
    QComboBox* formats_;
    QWidget* customRow_;
    QLineEdit* pattern_;
    WarningRow* retroWarning_;
};

}  // namespace veltrop::app
