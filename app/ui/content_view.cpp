#include "app/ui/content_view.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <QVBoxLayout>

#include "app/ui/pane_parts.h"
#include "app/ui/qt_text.h"

namespace veltrop::app {

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> localFiles(const QMimeData* data) {
    std::vector<fs::path> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) files.push_back(toPath(url.toLocalFile()));
    return files;
}

}  // namespace

ContentView::ContentView(AppModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    setAcceptDrops(true);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    mainSplitter_ = new QSplitter(Qt::Horizontal, this);
    mainSplitter_->setChildrenCollapsible(false);
    controlsScroll_ = new QScrollArea(mainSplitter_);
    controlsScroll_->setWidgetResizable(true);
    controlsScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    controlsScroll_->setFrameShape(QFrame::NoFrame);
    controls_ = new ControlsPane(model_, controlsScroll_);
    controlsScroll_->setWidget(controls_);
    controlsScroll_->setMinimumWidth(300);
    controlsScroll_->setAccessibleName(QStringLiteral("Settings"));

    center_ = new QStackedWidget(mainSplitter_);
    dropZone_ = new DropZone(model_, center_);
    batchSplitter_ = new QSplitter(Qt::Horizontal, center_);
    batchSplitter_->setChildrenCollapsible(false);
    photoList_ = new PhotoListView(model_, batchSplitter_);
    photoList_->setMinimumWidth(260);
    preview_ = new PreviewPane(model_, batchSplitter_);
    batchSplitter_->addWidget(photoList_);
    batchSplitter_->addWidget(preview_);
    batchSplitter_->setStretchFactor(0, 1);
    batchSplitter_->setStretchFactor(1, 3);
    batchSplitter_->setSizes({540, 390});
    center_->addWidget(dropZone_);
    center_->addWidget(batchSplitter_);

    mainSplitter_->addWidget(controlsScroll_);
    mainSplitter_->addWidget(center_);
    mainSplitter_->setStretchFactor(0, 0);
    mainSplitter_->setStretchFactor(1, 1);
    mainSplitter_->setSizes({350, 930});
    column->addWidget(mainSplitter_, 1);
    column->addWidget(buildExportBar());

    connect(dropZone_, &DropZone::choosePhotosRequested, this, &ContentView::choosePhotos);
    connect(dropZone_, &DropZone::choosePhotoFolderRequested, this, &ContentView::choosePhotoFolder);
    // Preview results arrive often and touch only the preview; every other
    // change can move counts, titles and rows.
    for (auto signal : {&AppModel::photosChanged, &AppModel::droppedRootsChanged, &AppModel::selectionChanged,
                        &AppModel::fileAccessMessageChanged, &AppModel::outputAccessChanged,
                        &AppModel::excludedCompletedPhotosChanged, &AppModel::configurationChanged,
                        &AppModel::formatChanged, &AppModel::runningChanged, &AppModel::progressChanged,
                        &AppModel::summaryChanged, &AppModel::preparingReportsChanged, &AppModel::correctionsChanged,
                        &AppModel::showDateReviewChanged, &AppModel::showBatchPreviewChanged,
                        &AppModel::expectedRangeChanged, &AppModel::ordinalsChanged, &AppModel::watermarkChanged,
                        &AppModel::presetsChanged, &AppModel::selectedPresetChanged, &AppModel::presetMessageChanged,
                        &AppModel::presetRecoveryChanged})
        connect(&model_, signal, this, &ContentView::sync);
    connect(&model_, &AppModel::previewChanged, preview_, &PreviewPane::sync);
    sync();
}

QWidget* ContentView::buildExportBar() {
    auto* bar = new QFrame(this);
    bar->setFrameShape(QFrame::StyledPanel);
    bar->setAutoFillBackground(true);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(12, 8, 12, 8);
    row->setSpacing(16);

    auto* left = new QVBoxLayout;
    auto* statusRow = new QHBoxLayout;
    statusSymbol_ = new QLabel(bar);
    statusSymbol_->setPixmap(warningSymbol(this));
    statusSymbol_->hide();
    status_ = new QLabel(bar);
    status_->setWordWrap(true);
    status_->setAccessibleName(QStringLiteral("Status"));
    statusRow->addWidget(statusSymbol_, 0, Qt::AlignTop);
    statusRow->addWidget(status_, 1);
    left->addLayout(statusRow);
    auto* buttons = new QHBoxLayout;
    review_ = new QPushButton(qs(contentTexts::reviewButtonLabel), bar);
    review_->setAccessibleName(qs(contentTexts::reviewButton));
    review_->setToolTip(QStringLiteral("Check recorded dates, set the expected project dates and correct dates"));
    previewBatch_ = new QPushButton(qs(contentTexts::previewButton), bar);
    previewBatch_->setToolTip(QStringLiteral("Render a few representative photos with the current settings"));
    // Opens the date review with only the photos that need attention.
    attention_ = new QPushButton(bar);
    attention_->setFlat(true);
    attention_->setCursor(Qt::PointingHandCursor);
    attention_->setIcon(QIcon(warningSymbol(this)));
    attention_->setToolTip(qs(contentTexts::attentionHelp));
    buttons->addWidget(review_);
    buttons->addWidget(previewBatch_);
    buttons->addWidget(attention_);
    buttons->addStretch(1);
    left->addStretch(1);
    left->addLayout(buttons);
    row->addLayout(left, 1);

    // What Export will do sits right above it.
    auto* right = new QVBoxLayout;
    destination_ = new DestinationBar(model_, bar);
    right->addWidget(destination_);

    runningBox_ = new QWidget(bar);
    auto* running = new QHBoxLayout(runningBox_);
    running->setContentsMargins(0, 0, 0, 0);
    progressText_ = new QLabel(runningBox_);
    progress_ = new QProgressBar(runningBox_);
    progress_->setMinimumWidth(220);
    progress_->setTextVisible(true);
    progress_->setFormat(QStringLiteral("%p%"));
    progress_->setAccessibleName(QStringLiteral("Export progress"));
    cancel_ = new QPushButton(QStringLiteral("Cancel"), runningBox_);
    cancel_->setToolTip(QStringLiteral("Stop after the photos being written now (Esc)"));
    running->addWidget(progressText_);
    running->addWidget(progress_);
    running->addWidget(cancel_);
    right->addWidget(runningBox_);

    export_ = new QPushButton(bar);
    export_->setDefault(true);
    export_->setMinimumHeight(38);
    export_->setMinimumWidth(200);
    QFont font = export_->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.15);
    export_->setFont(font);
    right->addWidget(export_);
    row->addLayout(right, 1);

    connect(review_, &QPushButton::clicked, this, [this] { openDateReview(ReviewFilter::allPhotos); });
    connect(previewBatch_, &QPushButton::clicked, this, [this] { model_.setShowBatchPreview(true); });
    connect(attention_, &QPushButton::clicked, this, [this] { openDateReview(ReviewFilter::needsAttention); });
    connect(export_, &QPushButton::clicked, this, &ContentView::startExport);
    connect(cancel_, &QPushButton::clicked, this, &ContentView::cancelExport);
    return bar;
}

void ContentView::openDateReview(ReviewFilter filter) {
    if (model_.photos().empty() || model_.isRunning()) return;
    model_.setShowDateReview(true);
    if (dateReview_) dateReview_->setFilter(filter);
}

void ContentView::sync() {
    center_->setCurrentWidget(model_.photos().empty() ? static_cast<QWidget*>(dropZone_) : batchSplitter_);
    controls_->sync();
    photoList_->sync();
    preview_->sync();
    syncBar();
    syncSheets();
    syncFileAccess();
}

void ContentView::syncBar() {
    const bool running = model_.isRunning();
    runningBox_->setVisible(running);
    export_->setVisible(!running);
    destination_->sync();
    const std::optional<std::string> blocked = model_.exportBlockedReason();
    if (running) {
        if (model_.isPreparingReports()) {
            progressText_->setText(qs(contentTexts::preparingReports));
            progress_->setRange(0, 0);
        } else {
            progressText_->setText(QString());
            progress_->setRange(0, static_cast<int>(model_.totalCount()));
            progress_->setValue(static_cast<int>(model_.completedCount()));
        }
        const QString count = qs(std::to_string(model_.completedCount()) + " of " + std::to_string(model_.totalCount()));
        status_->setText(model_.isPreparingReports() ? qs(contentTexts::preparingReports) : count);
        statusSymbol_->hide();
    } else if (!busy_) {
        status_->setText(qs(model_.statusText()));
        // An empty batch is a beginning, not a problem.
        statusSymbol_->setVisible(blocked && !model_.photos().empty());
    }
    export_->setText(qs(model_.exportButtonTitle()));
    export_->setEnabled(!blocked);
    export_->setToolTip(blocked ? qs(*blocked) : qs(contentTexts::exportHelp));
    const bool hasPhotos = !model_.photos().empty();
    review_->setEnabled(hasPhotos && !running);
    previewBatch_->setEnabled(hasPhotos && !running);
    const std::size_t attention = hasPhotos ? model_.needsAttentionCount() : 0;
    attention_->setText(qs(std::to_string(attention) + reviewTexts::needAttentionSuffix));
    attention_->setVisible(attention > 0);
    attention_->setEnabled(!running);
}

void ContentView::syncSheets() {
    if (model_.showDateReview() && !dateReview_) {
        dateReview_ = new DateReviewView(model_, window());
        dateReview_->setAttribute(Qt::WA_DeleteOnClose);
        connect(dateReview_, &QDialog::finished, &model_, [this] { model_.setShowDateReview(false); });
        dateReview_->open();
    } else if (!model_.showDateReview() && dateReview_) {
        dateReview_->close();
    }
    if (model_.showBatchPreview() && !batchPreview_) {
        batchPreview_ = new BatchPreviewView(model_, window());
        batchPreview_->setAttribute(Qt::WA_DeleteOnClose);
        connect(batchPreview_, &QDialog::finished, &model_, [this] { model_.setShowBatchPreview(false); });
        batchPreview_->open();
    } else if (!model_.showBatchPreview() && batchPreview_) {
        batchPreview_->close();
    }

    const auto& summary = model_.summary();
    if (!summary || model_.isRunning()) {
        summaryPresented_ = false;
    } else if (!summaryPresented_) {
        summaryPresented_ = true;
        if (results_) results_->close();
        results_ = new ResultsView(model_, IdentifiedSummary{settings::Uuid::random(), *summary, model_.handoverResult()}, window());
        results_->setAttribute(Qt::WA_DeleteOnClose);
        results_->open();
    }
}

void ContentView::syncFileAccess() {
    const auto& message = model_.fileAccessMessage();
    if (!message) {
        if (fileAccessAlert_) fileAccessAlert_->close();
        return;
    }
    if (!fileAccessAlert_) {
        fileAccessAlert_ = new QMessageBox(QMessageBox::Warning, QStringLiteral("File access"), QString(),
                                           QMessageBox::Ok, window());
        fileAccessAlert_->setAttribute(Qt::WA_DeleteOnClose);
        fileAccessAlert_->setWindowModality(Qt::WindowModal);
        connect(fileAccessAlert_, &QMessageBox::finished, &model_, &AppModel::dismissFileAccessMessage);
        fileAccessAlert_->setText(qs(*message));
        fileAccessAlert_->open();
    } else {
        fileAccessAlert_->setText(qs(*message));
    }
}

void ContentView::beginBusy() {
    if (busy_) return;
    busy_ = true;
    status_->setText(qs(contentTexts::findingPhotos));
    QApplication::setOverrideCursor(Qt::BusyCursor);
    // Let the status and cursor reach the screen before discovery holds the thread.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ContentView::endBusy() {
    if (!busy_) return;
    busy_ = false;
    QApplication::restoreOverrideCursor();
    syncBar();
}

void ContentView::addLocations(const std::vector<fs::path>& locations) {
    if (locations.empty() || model_.isRunning()) return;
    beginBusy();
    model_.addLocations(locations);
    endBusy();
}

void ContentView::choosePhotos() {
    if (model_.isRunning()) return;
    model_.choosePhotos();
    endBusy();
}

void ContentView::choosePhotoFolder() {
    if (model_.isRunning()) return;
    model_.choosePhotoFolder();
    endBusy();
}

void ContentView::startExport() {
    if (model_.canExport()) model_.startExport();
}

void ContentView::cancelExport() {
    if (model_.isRunning()) model_.cancel();
}

void ContentView::dragEnterEvent(QDragEnterEvent* event) {
    if (!model_.isRunning() && !localFiles(event->mimeData()).empty()) {
        event->acceptProposedAction();
        dropZone_->setHighlighted(true);
    }
}

void ContentView::dragMoveEvent(QDragMoveEvent* event) {
    if (!model_.isRunning() && !localFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void ContentView::dragLeaveEvent(QDragLeaveEvent*) { dropZone_->setHighlighted(false); }

void ContentView::dropEvent(QDropEvent* event) {
    dropZone_->setHighlighted(false);
    const auto files = localFiles(event->mimeData());
    if (files.empty()) return;
    event->acceptProposedAction();
    addLocations(files);
}

}  // namespace veltrop::app
