#pragma once
// The sheet shown when an export ends: counts, failures, output folders,
// the handover package and "Keep unfinished photos".

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "app/model/app_model.h"
#include "kit/settings/uuid.h"

namespace veltrop::app {

namespace resultsTexts {
inline constexpr const char* keepHelp =
    "Return to the unfinished photos so you can export them without repeating successful copies.";
inline constexpr const char* packageFailed = "Photos were preserved, but the reports could not be completed: ";
// The two reveal buttons say what each folder holds: the copies, or the whole package around them.
inline constexpr const char* revealCopiesPrefix = "Reveal copies in \u201C";
inline constexpr const char* revealPackage = "Reveal handover folder";
}  // namespace resultsTexts

// One presentation of the results sheet.
struct IdentifiedSummary {
    settings::Uuid id = settings::Uuid::random();
    exporting::BatchSummary summary;
    std::optional<handover::HandoverPackageResult> handover;
};

class ResultsView : public QDialog {
    Q_OBJECT
public:
    ResultsView(AppModel& model, IdentifiedSummary summary, QWidget* parent);

    const IdentifiedSummary& presented() const { return summary_; }
    QString headline() const { return headline_->text(); }
    // A warning symbol instead of the check mark.
    bool showsWarning() const { return warning_; }
    QStringList countLines() const;
    QString failuresText() const;
    // A button by its exact title, or null.
    QPushButton* button(const QString& title) const;

private:
    AppModel& model_;
    IdentifiedSummary summary_;
    QLabel* headline_;
    bool warning_ = false;
    QList<QLabel*> counts_;
    QList<QLabel*> failures_;
};

}  // namespace veltrop::app
