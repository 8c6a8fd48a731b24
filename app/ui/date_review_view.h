#pragma once
// The date review sheet: every photo's recorded and resolved date, the raw
// date fields, the expected project dates and the correction form.

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeView>
#include <QVBoxLayout>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <utility>

#include "app/model/app_model.h"
#include "app/ui/date_review_model.h"
#include "app/ui/pane_parts.h"

namespace veltrop::app {

namespace dateReviewTexts {
inline constexpr const char* title = "Review photo dates";
inline constexpr const char* subtitle = "Check the dates recorded by each camera before preparing the handover.";
inline constexpr const char* noMatch = "No photos match this filter.";
inline constexpr const char* selectPrompt = "Select a photo to inspect its original date fields.";
inline constexpr const char* rangeInverted = "Choose an end date on or after the start date.";
inline constexpr const char* scopeNote =
    "Camera model applies to every matching model. Use a folder or selected photo for a specific camera.";
inline constexpr const char* shiftNote =
    "Positive values add time; negative values subtract it. Camera wall-clock time is preserved across timezones.";
inline constexpr const char* supplyNote = "This explicitly sets the same date and time for the affected photos.";
inline constexpr const char* recentNote = "The most recent matching correction is used; shifts are not added together.";
inline constexpr const char* appliedNote =
    "Corrections change stamps, filenames and reports. Original files and their date metadata are never edited; "
    "exported JPEGs retain the source date metadata. Corrections clear when you clear the batch.";
}  // namespace dateReviewTexts

class DateReviewView : public QDialog {
    Q_OBJECT
public:
    explicit DateReviewView(AppModel& model, QWidget* parent);
    void sync();

    // The review's own selection and form.
    void selectPhoto(const std::optional<std::filesystem::path>& photo);
    void setFilter(ReviewFilter filter);
    CorrectionForm form() const;

    QTreeView* table() const { return table_; }
    DateReviewModel* rows() const { return rows_; }
    QComboBox* filterBox() const { return filterBox_; }
    QComboBox* scopeBox() const { return scope_; }
    QComboBox* kindBox() const { return kind_; }
    QSpinBox* daysBox() const { return days_; }
    QSpinBox* hoursBox() const { return hours_; }
    QSpinBox* minutesBox() const { return minutes_; }
    QLineEdit* suppliedField() const { return supplied_; }
    QPushButton* applyButton() const { return apply_; }
    QString disabledReason() const { return reason_->message(); }
    QString whatIfText() const { return whatIf_->text(); }
    QString headerText() const { return header_->text(); }
    QString emptyText() const { return empty_->isVisibleTo(this) ? empty_->text() : QString(); }
    QString rawFieldsText() const;
    QString rangeWarning() const { return rangeWarning_->message(); }
    QDateEdit* fromPicker() const { return from_; }
    QDateEdit* toPicker() const { return to_; }
    QStringList appliedTexts() const { return appliedTexts_; }

private:
    QWidget* buildRawFields(QWidget* parent);
    QWidget* buildRange(QWidget* parent);
    QWidget* buildForm(QWidget* parent);
    QWidget* buildApplied(QWidget* parent);
    void followBatchDays();
    void syncTable();
    void showSelection();
    void syncRawFields();
    void syncScopes();
    void syncForm();
    void syncApplied();

    AppModel& model_;
    ReviewFilter filter_ = ReviewFilter::allPhotos;
    // The records and filter the rows were made from: a new project title
    // changes neither, and 6,000 rows are not made again for it.
    std::optional<std::pair<std::uint64_t, ReviewFilter>> rowsMadeFrom_;
    std::optional<std::filesystem::path> selection_;
    bool followingBatch_ = false;
    bool showingSelection_ = false;

    QComboBox* filterBox_;
    QLabel* header_;
    QTreeView* table_;
    DateReviewModel* rows_;
    QLabel* empty_;
    QVBoxLayout* rawFields_;
    QWidget* rawFieldsOwner_;
    QCheckBox* rangeEnabled_;
    QDateEdit* from_;
    QDateEdit* to_;
    WarningRow* rangeWarning_;
    QComboBox* scope_;
    QComboBox* kind_;
    QWidget* shiftRow_;
    QSpinBox* days_;
    QSpinBox* hours_;
    QSpinBox* minutes_;
    QWidget* supplyRow_;
    QLineEdit* supplied_;
    QLabel* whatIf_;
    QPushButton* apply_;
    WarningRow* reason_;
    QVBoxLayout* appliedList_;
    QWidget* appliedOwner_;
    std::vector<ScopeChoice> scopes_;
    QStringList appliedTexts_;
};

}  // namespace veltrop::app
