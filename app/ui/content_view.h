#pragma once
// The main window's content: settings pane, drop zone or photo list with the
// preview, the export bar and status line, and the sheets it opens.

#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QWidget>

#include <filesystem>
#include <vector>

#include "app/model/app_model.h"
#include "app/ui/batch_preview_view.h"
#include "app/ui/controls_pane.h"
#include "app/ui/date_review_view.h"
#include "app/ui/destination_bar.h"
#include "app/ui/drop_zone.h"
#include "app/ui/photo_list_view.h"
#include "app/ui/preview_pane.h"
#include "app/ui/results_view.h"



namespace veltrop::app {

namespace contentTexts {
inline constexpr const char* preparingReports = "Preparing contact sheet and index\u2026";
inline constexpr const char* findingPhotos = "Finding photos\u2026";
inline constexpr const char* reviewButton = "Review dates & corrections";
// Buttons and menus read "&" as a mnemonic marker.
inline constexpr const char* reviewButtonLabel = "Review dates && corrections";
inline constexpr const char* previewButton = "Preview batch";
inline constexpr const char* attentionHelp = "Review the photos that need attention";
inline constexpr const char* exportHelp = "Write stamped copies (Ctrl+E)";
}  // namespace contentTexts

class ContentView : public QWidget {
    Q_OBJECT
public:
    explicit ContentView(AppModel& model, QWidget* parent = nullptr);

    AppModel& model() const { return model_; }
    ControlsPane* controls() const { return controls_; }
    DropZone* dropZone() const { return dropZone_; }
    PhotoListView* photoList() const { return photoList_; }
    PreviewPane* preview() const { return preview_; }
    QSplitter* mainSplitter() const { return mainSplitter_; }
    QSplitter* batchSplitter() const { return batchSplitter_; }
    QPushButton* exportButton() const { return export_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* reviewButton() const { return review_; }
    QPushButton* previewBatchButton() const { return previewBatch_; }
    QProgressBar* progressBar() const { return progress_; }
    QString statusText() const { return status_->text(); }
    QString attentionText() const { return attention_->isVisibleTo(this) ? attention_->text() : QString(); }
    QPushButton* attentionButton() const { return attention_; }
    bool statusIsWarning() const { return statusSymbol_->isVisibleTo(this); }
    DestinationBar* destination() const { return destination_; }
    bool showsDropZone() const { return center_->currentWidget() == dropZone_; }

    DateReviewView* dateReview() const { return dateReview_; }
    BatchPreviewView* batchPreview() const { return batchPreview_; }
    ResultsView* results() const { return results_; }
    QMessageBox* fileAccessAlert() const { return fileAccessAlert_; }

public slots:
    // Adds files and folders with a busy state while discovery runs.
    void addLocations(const std::vector<std::filesystem::path>& locations);
    void choosePhotos();
    void choosePhotoFolder();
    // Opens the date review showing the given photos.
    void openDateReview(ReviewFilter filter);
    void startExport();
    void cancelExport();
    // Called once the open panel has answered and discovery is about to run.
    void beginBusy();
    void endBusy();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* buildExportBar();
    void sync();
    void syncBar();
    void syncSheets();
    void syncFileAccess();

    AppModel& model_;
    QSplitter* mainSplitter_;
    QScrollArea* controlsScroll_;
    ControlsPane* controls_;
    QStackedWidget* center_;
    DropZone* dropZone_;
    QSplitter* batchSplitter_;
    PhotoListView* photoList_;
    PreviewPane* preview_;

    QLabel* statusSymbol_;
    QLabel* status_;
    QPushButton* attention_;
    DestinationBar* destination_;
    QPushButton* review_;
    QPushButton* previewBatch_;
    QWidget* runningBox_;
    QProgressBar* progress_;
    QLabel* progressText_;
    QPushButton* cancel_;
    QPushButton* export_;

    QPointer<DateReviewView> dateReview_;
    QPointer<BatchPreviewView> batchPreview_;
    QPointer<ResultsView> results_;
    QPointer<QMessageBox> fileAccessAlert_;
    bool summaryPresented_ = false;
    bool busy_ = false;
};

}  // namespace veltrop::app
