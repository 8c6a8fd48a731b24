#pragma once
// The date review's rows as an item model: the photo, its recorded date, the
// date an export will use and the notes, in batch order. A change of the
// batch tells the view which rows changed instead of rebuilding the list.

#include <QAbstractTableModel>
#include <QIcon>

#include <filesystem>
#include <span>
#include <vector>

#include "app/model/review.h"
#include "kit/records/discovered_photo.h"
#include "kit/records/photo_record.h"

namespace veltrop::app {

struct ReviewRow {
    std::filesystem::path location;
    QString name;
    QString path;  // relative, the name's tooltip
    QString recorded;
    QString willUse;
    QString notes;
    bool needsAttention = false;
    bool operator==(const ReviewRow&) const = default;
};

// The rows of the photos whose records pass the filter; records[i] belongs to photos[i].
std::vector<ReviewRow> reviewRows(std::span<const records::DiscoveredPhoto> photos,
                                  std::span<const records::PhotoRecord> records, ReviewFilter filter);

class DateReviewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { photoColumn, recordedColumn, willUseColumn, notesColumn, columnCount_ };
    static constexpr int locationRole = Qt::UserRole;

    explicit DateReviewModel(QObject* parent = nullptr);

    // The symbol beside photos that need attention.
    void setAttentionIcon(QIcon icon) { attention_ = std::move(icon); }
    // Keeps the rows (and the view's selection and scroll position) when only texts changed.
    void setRows(std::vector<ReviewRow> rows);
    const std::vector<ReviewRow>& rows() const { return rows_; }
    int rowOf(const std::filesystem::path& location) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QIcon attention_;
    std::vector<ReviewRow> rows_;
};

}  // namespace veltrop::app
