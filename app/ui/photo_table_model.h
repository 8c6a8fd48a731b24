#pragma once
// The photo list's rows as an item model: name with a thumbnail, resolved
// date, where that date came from, and the camera. A proxy sorts them.

#include <QAbstractTableModel>
#include <QIcon>
#include <QSortFilterProxyModel>

#include <filesystem>
#include <vector>

#include "app/model/thumbnail_cache.h"

namespace veltrop::app {

struct PhotoRow {
    std::filesystem::path location;
    QString name;
    QString date;    // resolved, "YYYY-MM-DD HH:MM:SS"; empty without one
    QString source;  // where the date came from, or "No date"
    QString camera;  // empty when the photo names none
    bool operator==(const PhotoRow&) const = default;
};

class PhotoTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { nameColumn, dateColumn, sourceColumn, cameraColumn, columnCount_ };
    static constexpr int locationRole = Qt::UserRole;
    static constexpr int sortRole = Qt::UserRole + 1;

    explicit PhotoTableModel(ThumbnailCache& thumbnails, QObject* parent = nullptr);

    // Keeps the rows (and the view's scroll position) when only texts changed.
    void setRows(std::vector<PhotoRow> rows);
    const std::vector<PhotoRow>& rows() const { return rows_; }
    int rowOf(const std::filesystem::path& location) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    void thumbnailArrived(const QString& photo);

    // The cache decodes on demand, so asking it is not a change of this model.
    ThumbnailCache& thumbnails_;
    QIcon placeholder_;
    std::vector<PhotoRow> rows_;
};

// Sorts names as a file manager does ("IMG_2" before "IMG_10"); dates by their text.
class PhotoSortModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit PhotoSortModel(QObject* parent = nullptr);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

}  // namespace veltrop::app
