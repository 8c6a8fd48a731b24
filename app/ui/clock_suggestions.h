#pragma once
// "Suggested corrections" in the date review: one row per proposed clock
// shift with its evidence and an "Apply" button, and two pickers for a sync
// shot (two photos of the same moment by two cameras).

#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include <optional>

#include "app/model/app_model.h"
#include "app/model/clock_review.h"
#include "app/ui/pane_parts.h"

namespace veltrop::app {

class ClockSuggestionsView : public QGroupBox {
    Q_OBJECT
public:
    ClockSuggestionsView(AppModel& model, QWidget* parent);
    void sync();

    // The pair picked for a sync shot, by photo.
    void setSyncShot(const std::optional<std::filesystem::path>& reference,
                     const std::optional<std::filesystem::path>& other);

    const ClockSuggestions& shown() const { return shown_; }
    QComboBox* referenceBox() const { return reference_; }
    QComboBox* otherBox() const { return other_; }
    // The "Apply" button of the suggestion at index, or null.
    QPushButton* applyButton(std::size_t index) const;
    QString syncProblem() const { return syncProblem_->message(); }

private:
    std::optional<records::SyncShot> syncShot() const;
    void syncPickers();
    void syncRows();

    AppModel& model_;
    ClockSuggestions shown_;
    std::vector<SyncChoice> choices_;
    QVBoxLayout* rows_;
    QWidget* rowsOwner_;
    QComboBox* reference_;
    QComboBox* other_;
    WarningRow* syncProblem_;
    std::vector<QPushButton*> applyButtons_;
};

}  // namespace veltrop::app
