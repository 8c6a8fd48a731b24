#pragma once
// The photos of the batch with the source of each one's date.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QWidget>

#include "app/model/app_model.h"
#include "app/ui/pane_parts.h"

namespace veltrop::app {

class PhotoListView : public QWidget {
    Q_OBJECT
public:
    explicit PhotoListView(AppModel& model, QWidget* parent = nullptr);
    void sync();

    QTreeWidget* list() const { return list_; }
    QPushButton* clearButton() const { return clear_; }
    QCheckBox* fileDatesBox() const { return fileDates_; }
    QString undatedWarning() const { return undated_->isVisibleTo(this) ? undatedText_->text() : QString(); }

private:
    AppModel& model_;
    QLabel* count_;
    QTreeWidget* list_;
    QWidget* undated_;
    QLabel* undatedText_;
    QCheckBox* fileDates_;
    QPushButton* clear_;
};

}  // namespace veltrop::app
