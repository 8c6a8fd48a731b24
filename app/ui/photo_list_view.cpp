#include "app/ui/photo_list_view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

#include "app/ui/qt_text.h"

namespace veltrop::app {

PhotoListView::PhotoListView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
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

    list_ = new QTreeWidget(this);
    list_->setColumnCount(2);
    list_->setHeaderLabels({QStringLiteral("Photo"), QStringLiteral("Date source")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAlternatingRowColors(true);
    list_->setAccessibleName(QStringLiteral("Photos in the batch"));
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    column->addWidget(list_, 1);

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

    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!item) return;
        const auto location = toPath(item->data(0, Qt::UserRole).toString());
        if (model_.selection() != location) model_.setSelection(location);
    });
    connect(clear_, &QPushButton::clicked, &model_, &AppModel::clearBatch);
    connect(fileDates_, &QCheckBox::toggled, this, [this](bool on) {
        auto configuration = model_.configuration();
        configuration.useFileDateFallback = on;
        model_.setConfiguration(configuration);
    });
    sync();
}

void PhotoListView::sync() {
    const auto& photos = model_.photos();
    const auto records = model_.records();
    const QSignalBlocker block(list_);
    // Rebuilt only when the rows differ, so the scroll position survives edits.
    bool same = list_->topLevelItemCount() == static_cast<int>(photos.size());
    for (std::size_t i = 0; same && i < photos.size(); ++i) {
        auto* item = list_->topLevelItem(static_cast<int>(i));
        same = item->data(0, Qt::UserRole).toString() == qpath(photos[i].url);
    }
    if (!same) {
        list_->clear();
        for (const auto& photo : photos) {
            auto* item = new QTreeWidgetItem(list_);
            item->setText(0, qs(photo.url.filename().string()));
            item->setData(0, Qt::UserRole, qpath(photo.url));
            item->setToolTip(0, qpath(photo.url));
        }
    }
    for (std::size_t i = 0; i < photos.size(); ++i) {
        auto* item = list_->topLevelItem(static_cast<int>(i));
        const QString source = qs(dateSourceText(records[i]));
        item->setText(1, source);
        item->setData(0, Qt::AccessibleTextRole, item->text(0) + QStringLiteral(", ") + source);
        if (model_.selection() == photos[i].url) list_->setCurrentItem(item);
    }
    if (!model_.selection()) list_->setCurrentItem(nullptr);
    count_->setText(qs(std::to_string(photos.size()) + (photos.size() == 1 ? " photo" : " photos")));

    const std::size_t undated = model_.undatedCount();
    undated_->setVisible(undated > 0);
    undatedText_->setText(qs(undatedWarningText(undated)));
    {
        const QSignalBlocker blockBox(fileDates_);
        fileDates_->setChecked(model_.configuration().useFileDateFallback);
    }
    clear_->setEnabled(!model_.isRunning());
    list_->setEnabled(true);
}

}  // namespace veltrop::app
