#include "app/ui/date_review_model.h"

#include <algorithm>

#include "app/ui/qt_text.h"
#include "app/ui/row_change.h"

namespace veltrop::app {

std::vector<ReviewRow> reviewRows(std::span<const records::DiscoveredPhoto> photos,
                                  std::span<const records::PhotoRecord> records, ReviewFilter filter) {
    std::vector<ReviewRow> rows;
    rows.reserve(records.size());
    for (std::size_t i = 0; i < photos.size() && i < records.size(); ++i) {
        const records::PhotoRecord& record = records[i];
        if (!matches(filter, record)) continue;
        rows.push_back({photos[i].url, qs(record.sourceName), qs(record.sourcePath), qs(recordedText(record)),
                        qs(willUseText(record)), qs(notesText(record)), records::needsAttention(record)});
    }
    return rows;
}

DateReviewModel::DateReviewModel(QObject* parent) : QAbstractTableModel(parent) {}

void DateReviewModel::setRows(std::vector<ReviewRow> rows) {
    const RowChange change = rowChange(rows_, rows);
    if (change.reset) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    rows_ = std::move(rows);
    if (change.first >= 0) emit dataChanged(index(change.first, 0), index(change.last, columnCount_ - 1));
}

int DateReviewModel::rowOf(const std::filesystem::path& location) const {
    const auto found =
        std::find_if(rows_.begin(), rows_.end(), [&](const ReviewRow& r) { return r.location == location; });
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

int DateReviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DateReviewModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columnCount_; }

QVariant DateReviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const ReviewRow& row = rows_[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<Column>(index.column());
    auto text = [&]() -> QString {
        switch (column) {
            case photoColumn: return row.name;
            case recordedColumn: return row.recorded;
            case willUseColumn: return row.willUse;
            case notesColumn: return row.notes;
            case columnCount_: break;
        }
        return {};
    };
    switch (role) {
        case Qt::DisplayRole: return text();
        case Qt::ToolTipRole:
            if (column == photoColumn) return row.path;
            if (column == notesColumn) return row.notes;
            return {};
        case Qt::DecorationRole:
            if (column == photoColumn && row.needsAttention) return attention_;
            return {};
        case locationRole: return qpath(row.location);
        default: return {};
    }
}

QVariant DateReviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case photoColumn: return QStringLiteral("Photo");
        case recordedColumn: return QStringLiteral("Recorded");
        case willUseColumn: return QStringLiteral("Will use");
        case notesColumn: return QStringLiteral("Notes");
        default: return {};
    }
}

}  // namespace veltrop::app
