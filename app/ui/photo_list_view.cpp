#include "app/ui/photo_list_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QVBoxLayout>

#include "app/ui/qt_text.h"

namespace veltrop::app {

PhotoListView::PhotoListView(AppModel& model, QWidget* parent, std::unique_ptr<ThumbnailCache> thumbnails)
    : QWidget(parent), model_(model),
      thumbnails_(thumbnails ? std::move(thumbnails) : std::make_unique<ThumbnailCache>()) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(8, 8, 8, 8);
    auto* top = new QHBoxLayout;
    count_ = makeHeader(QString(), this);
    clear_ = new QPushButton(QStringLiteral("Clear"), this);
    clear_->setToolTip(QStringLiteral("Remove every photo from the batch; corrections and numbers start again"));
    clear_->setAccessibleName(QStringLiteral("Clear batch"));
    top->addWidget(count_, 1);
    top->addWidget(clear_);
    column->addLayout(top);

    rows_ = new PhotoTableModel(*thumbnails_, this);
    sorted_ = new PhotoSortModel(this);
    sorted_->setSourceModel(rows_);
    table_ = new QTableView(this);
    table_->setModel(sorted_);
    table_->setAccessibleName(QStringLiteral("Photos in the batch"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setAlternatingRowColors(true);
    table_->setShowGrid(false);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideMiddle);  // keeps the end of a name and its extension
    table_->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    const int thumbnail = thumbnails_->pixelSize() / 2;
    table_->setIconSize(QSize(thumbnail, thumbnail));
    table_->verticalHeader()->hide();
    // Fixed row heights keep a list of thousands of photos quick to scroll.
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(thumbnail + 6);
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    header->setHighlightSections(false);
    const QFontMetrics metrics = table_->fontMetrics();
    header->resizeSection(PhotoTableModel::nameColumn, thumbnail + metrics.horizontalAdvance(QStringLiteral("IMG_0000.JPEG")) + 16);
    header->resizeSection(PhotoTableModel::dateColumn, metrics.horizontalAdvance(QStringLiteral("0000-00-00 00:00:00")) + 14);
    header->resizeSection(PhotoTableModel::sourceColumn, metrics.horizontalAdvance(QStringLiteral("EXIF capture date")) + 14);
    // Batch order until a heading is clicked.
    header->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    column->addWidget(table_, 1);

    undated_ = new QWidget(this);
    auto* warning = new QGridLayout(undated_);
    warning->setContentsMargins(0, 4, 0, 0);
    auto* symbol = new QLabel(undated_);
    symbol->setPixmap(warningSymbol(this));
    undatedText_ = new QLabel(undated_);
    undatedText_->setWordWrap(true);
    fileDates_ = new QCheckBox(QStringLiteral("Use file dates"), undated_);
    fileDates_->setToolTip(QStringLiteral("Use each file's own date for photos without a recorded capture date"));
    warning->addWidget(symbol, 0, 0, Qt::AlignTop);
    warning->addWidget(undatedText_, 0, 1);
    warning->addWidget(fileDates_, 1, 1);
    warning->setColumnStretch(1, 1);
    column->addWidget(undated_);

    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (!current.isValid() || showingSelection_) return;
        const auto location = toPath(current.data(PhotoTableModel::locationRole).toString());
        if (model_.selection() != location) model_.setSelection(location);
    });
    // Sorting moves the rows; the selected photo stays in view.
    connect(sorted_, &QAbstractItemModel::layoutChanged, this, [this] {
        const QModelIndex current = table_->currentIndex();
        if (current.isValid()) table_->scrollTo(current);
    });
    connect(clear_, &QPushButton::clicked, &model_, &AppModel::clearBatch);
    connect(fileDates_, &QCheckBox::toggled, this, [this](bool on) {
        auto configuration = model_.configuration();
        configuration.useFileDateFallback = on;
        model_.setConfiguration(configuration);
    });
    sync();
}

QStringList PhotoListView::columnTexts(PhotoTableModel::Column column) const {
    QStringList texts;
    for (int row = 0; row < sorted_->rowCount(); ++row) texts << sorted_->index(row, column).data().toString();
    return texts;
}

void PhotoListView::sync() {
    const auto& photos = model_.photos();
    if (rowsMadeFrom_ != model_.recordsRevision()) {
        const auto& records = model_.records();
        std::vector<PhotoRow> rows;
        rows.reserve(photos.size());
        for (std::size_t i = 0; i < photos.size(); ++i) {
            const auto& record = records[i];
            rows.push_back({photos[i].url, qs(photos[i].url.filename().string()),
                            record.resolvedDate ? qs(dates::text(*record.resolvedDate)) : QString(),
                            qs(dateSourceText(record)), qs(dates::cameraText(photos[i].exif).value_or(std::string()))});
        }
        rows_->setRows(std::move(rows));
        rowsMadeFrom_ = model_.recordsRevision();
    }
    showSelection();
    count_->setText(qs(std::to_string(photos.size()) + (photos.size() == 1 ? " photo" : " photos")));

    const std::size_t undated = model_.undatedCount();
    undated_->setVisible(undated > 0);
    undatedText_->setText(qs(undatedWarningText(undated)));
    {
        const QSignalBlocker blockBox(fileDates_);
        fileDates_->setChecked(model_.configuration().useFileDateFallback);
    }
    clear_->setEnabled(!model_.isRunning());
}

void PhotoListView::showSelection() {
    // The view must still hear of the change to draw it; the model must not.
    showingSelection_ = true;
    const int row = model_.selection() ? rows_->rowOf(*model_.selection()) : -1;
    if (row < 0) {
        table_->selectionModel()->clear();
    } else {
        const QModelIndex index = sorted_->mapFromSource(rows_->index(row, 0));
        if (table_->currentIndex().row() != index.row() || !table_->selectionModel()->isRowSelected(index.row())) {
            table_->selectionModel()->setCurrentIndex(index,
                                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            table_->scrollTo(index);
        }
    }
    showingSelection_ = false;
}

}  // namespace veltrop::app
