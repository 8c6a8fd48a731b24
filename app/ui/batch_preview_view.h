#pragma once
// The batch preview sheet: a few representative photos rendered with the
// current settings and records, each on its own card.

#include <QDialog>
#include <QLabel>

#include <optional>
#include <string>

#include "app/model/app_model.h"
#include "app/ui/preview_pane.h"

namespace veltrop::app {

namespace batchPreviewTexts {
inline constexpr const char* title = "Preview your batch";
inline constexpr const char* note =
    "Representative photos include the selection, a portrait and photos with date changes or notes.";
}  // namespace batchPreviewTexts

class RecordPreviewCard : public QWidget {
    Q_OBJECT
public:
    RecordPreviewCard(records::DiscoveredPhoto photo, records::PhotoRecord record,
                      settings::StampConfiguration configuration, std::optional<image::Bitmap> logo,
                      AppModel::PreviewRenderer renderer, QWidget* parent);

    bool isLoaded() const { return loaded_; }
    const QImage& image() const { return image_->image(); }
    QString errorText() const { return error_->message(); }
    QString captionText() const;

signals:
    void loaded();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void render();
    void apply(PreviewOutcome outcome);

    records::DiscoveredPhoto photo_;
    records::PhotoRecord record_;
    settings::StampConfiguration configuration_;
    std::optional<image::Bitmap> logo_;
    AppModel::PreviewRenderer renderer_;
    bool started_ = false;
    bool loaded_ = false;
    ImageView* image_;
    WarningRow* error_;
    QLabel* name_;
    QLabel* details_;
};

class BatchPreviewView : public QDialog {
    Q_OBJECT
public:
    explicit BatchPreviewView(AppModel& model, QWidget* parent);
    const QList<RecordPreviewCard*>& cards() const { return cards_; }
    bool allLoaded() const;

private:
    QList<RecordPreviewCard*> cards_;
};

}  // namespace veltrop::app
