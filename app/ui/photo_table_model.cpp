#include "app/ui/photo_table_model.h"

#include <QIcon>
#include <QPixmap>

#include <algorithm>

#include "app/ui/row_change.h"

namespace veltrop::app {

namespace {

// The order a file manager shows names in: digit runs by their value, letters
// without regard to case. Dates sort correctly too, their fields being digit runs.
int compareNaturally(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            auto run = [](const QString& text, qsizetype& at) {
                while (at < text.size() && text[at] == QLatin1Char('0') && at + 1 < text.size() && text[at + 1].isDigit())
                    ++at;
                const qsizetype start = at;
                while (at < text.size() && text[at].isDigit()) ++at;
                return QStringView(text).mid(start, at - start);
            };
            const QStringView left = run(a, i);
            const QStringView right = run(b, j);
            if (left.size() != right.size()) return left.size() < right.size() ? -1 : 1;
            if (const int order = left.compare(right); order != 0) return order;
            continue;
        }
        const QChar left = a[i].toCaseFolded();
        const QChar right = b[j].toCaseFolded();
        if (left != right) return left < right ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size() || j < b.size()) return i < a.size() ? 1 : -1;
    return 0;
}

}  // namespace

PhotoTableModel::PhotoTableModel(ThumbnailCache& thumbnails, QObject* parent)
    : QAbstractTableModel(parent), thumbnails_(thumbnails) {
    // Keeps the names in place while thumbnails arrive.
    QPixmap blank(thumbnails.pixelSize(), thumbnails.pixelSize());
    blank.fill(Qt::transparent);
    placeholder_ = QIcon(blank);
    connect(&thumbnails_, &ThumbnailCache::thumbnailReady, this, &PhotoTableModel::thumbnailArrived);
}

void PhotoTableModel::setRows(std::vector<PhotoRow> rows) {
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

int PhotoTableModel::rowOf(const std::filesystem::path& location) const {
    const auto found = std::find_if(rows_.begin(), rows_.end(), [&](const PhotoRow& r) { return r.location == location; });
    return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

int PhotoTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PhotoTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columnCount_; }

QVariant PhotoTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size())) return {};
    const PhotoRow& row = rows_[static_cast<std::size_t>(index.row())];
    const auto column = static_cast<Column>(index.column());
    auto text = [&]() -> QString {
        switch (column) {
            case nameColumn: return row.name;
            case dateColumn: return row.date;
            case sourceColumn: return row.source;
            case cameraColumn: return row.camera;
            case columnCount_: break;
        }
        return {};
    };
    switch (role) {
        case Qt::DisplayRole:
        case sortRole: return text();
        case Qt::ToolTipRole:
            return column == nameColumn ? QString::fromStdString(row.location.string()) : text();
        case Qt::AccessibleTextRole:
            if (column == nameColumn) {
                QStringList parts{row.name};
                for (const QString& part : {row.date, row.source, row.camera})
                    if (!part.isEmpty()) parts << part;
                return parts.join(QStringLiteral(", "));
            }
            return text();
        case Qt::DecorationRole:
            if (column != nameColumn) return {};
            // Asked only for rows being painted, so only those are decoded.
            // An icon is drawn at the view's icon size, from the sharper pixels on a dense screen.
            if (QImage image = thumbnails_.thumbnail(row.location); !image.isNull())
                return QIcon(QPixmap::fromImage(image));
            return placeholder_;
        case locationRole: return QString::fromStdString(row.location.string());
        default: return {};
    }
}

QVariant PhotoTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
        case nameColumn: return QStringLiteral("Photo");
        case dateColumn: return QStringLiteral("Date");
        case sourceColumn: return QStringLiteral("Date source");
        case cameraColumn: return QStringLiteral("Camera");
        default: return {};
    }
}

void PhotoTableModel::thumbnailArrived(const QString& photo) {
    const int row = rowOf(std::filesystem::path(photo.toStdString()));
    if (row >= 0) emit dataChanged(index(row, nameColumn), index(row, nameColumn), {Qt::DecorationRole});
}

PhotoSortModel::PhotoSortModel(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(PhotoTableModel::sortRole);
}

bool PhotoSortModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QString a = left.data(sortRole()).toString();
    const QString b = right.data(sortRole()).toString();
    // Rows without a value go last, whichever way the column is sorted.
    if (a.isEmpty() != b.isEmpty()) return sortOrder() == Qt::AscendingOrder ? b.isEmpty() : a.isEmpty();
    // Ties keep the batch order: the proxy sorts stably.
    return compareNaturally(a, b) < 0;
}

}  // namespace veltrop::app
