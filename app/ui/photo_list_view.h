#pragma once
// The photos of the batch: a sortable table with a small thumbnail, the
// resolved date, where it came from and the camera.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>

#include "app/model/app_model.h"
#include "app/model/thumbnail_cache.h"
#include "app/ui/pane_parts.h"
#include "app/ui/photo_table_model.h"

namespace veltrop::app {

class PhotoListView : public QWidget {
    Q_OBJECT
public:
    // Without a cache, one that decodes with the kit's thumbnail function.
    explicit PhotoListView(AppModel& model, QWidget* parent = nullptr,
                           std::unique_ptr<ThumbnailCache> thumbnails = {});
    void sync();

    QTableView* table() const { return table_; }
    PhotoTableModel* rows() const { return rows_; }
    PhotoSortModel* sorted() const { return sorted_; }
    ThumbnailCache& thumbnails() const { return *thumbnails_; }
    // The texts of one column in the order shown.
    QStringList columnTexts(PhotoTableModel::Column column) const;
    QPushButton* clearButton() const { return clear_; }
    QCheckBox* fileDatesBox() const { return fileDates_; }
    QString undatedWarning() const { return undated_->isVisibleTo(this) ? undatedText_->text() : QString(); }

private:
    void showSelection();

    AppModel& model_;
    std::unique_ptr<ThumbnailCache> thumbnails_;
    PhotoTableModel* rows_;
    std::optional<std::uint64_t> rowsMadeFrom_;  // the records' revision
    PhotoSortModel* sorted_;
    QLabel* count_;
    QTableView* table_;
    QWidget* undated_;
    QLabel* undatedText_;
    QCheckBox* fileDates_;
    QPushButton* clear_;
    bool showingSelection_ = false;
};

}  // namespace veltrop::app
