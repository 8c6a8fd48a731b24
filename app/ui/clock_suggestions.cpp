#include "app/ui/clock_suggestions.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>

#include "app/ui/qt_text.h"

namespace veltrop::app {

namespace fs = std::filesystem;
namespace texts = clockTexts;

namespace {

void clearLayout(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();  // gone at once, deleted once its button's click has returned
            widget->deleteLater();
        }
        delete item;
    }
}

std::optional<fs::path> chosenPhoto(const QComboBox* box) {
    const QVariant data = box->currentData();
    if (!data.isValid() || data.toString().isEmpty()) return std::nullopt;
    return toPath(data.toString());
}

}  // namespace

ClockSuggestionsView::ClockSuggestionsView(AppModel& model, QWidget* parent)
    : QGroupBox(qs(texts::title), parent), model_(model) {
    auto* column = new QVBoxLayout(this);
    rowsOwner_ = new QWidget(this);
    rows_ = new QVBoxLayout(rowsOwner_);
    rows_->setContentsMargins(0, 0, 0, 0);
    column->addWidget(rowsOwner_);

    column->addWidget(makeHeader(qs(texts::syncTitle), this));
    column->addWidget(makeNote(qs(texts::syncHelp), this));
    auto* pickers = new QFormLayout;
    pickers->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    reference_ = new QComboBox(this);
    reference_->setAccessibleName(QStringLiteral("Sync shot, first camera"));
    other_ = new QComboBox(this);
    other_->setAccessibleName(QStringLiteral("Sync shot, camera to set"));
    for (QComboBox* box : {reference_, other_}) {
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(18);
        connect(box, &QComboBox::currentIndexChanged, this, &ClockSuggestionsView::syncRows);
    }
    pickers->addRow(QStringLiteral("&Reference photo"), reference_);
    pickers->addRow(QStringLiteral("Same &moment, other camera"), other_);
    column->addLayout(pickers);
    syncProblem_ = new WarningRow(this);
    column->addWidget(syncProblem_);

    for (auto signal : {&AppModel::photosChanged, &AppModel::correctionsChanged, &AppModel::runningChanged})
        connect(&model_, signal, this, &ClockSuggestionsView::sync);
    sync();
}

void ClockSuggestionsView::sync() {
    syncPickers();
    syncRows();
}

void ClockSuggestionsView::setSyncShot(const std::optional<fs::path>& reference, const std::optional<fs::path>& other) {
    auto select = [](QComboBox* box, const std::optional<fs::path>& photo) {
        const int index = photo ? box->findData(qpath(*photo)) : 0;
        setIndexQuietly(box, std::max(index, 0));
    };
    select(reference_, reference);
    select(other_, other);
    syncRows();
}

QPushButton* ClockSuggestionsView::applyButton(std::size_t index) const {
    return index < applyButtons_.size() ? applyButtons_[index] : nullptr;
}

std::optional<records::SyncShot> ClockSuggestionsView::syncShot() const {
    const auto reference = chosenPhoto(reference_);
    const auto other = chosenPhoto(other_);
    if (!reference || !other) return std::nullopt;
    return records::SyncShot{*reference, *other};
}

void ClockSuggestionsView::syncPickers() {
    auto choices = syncChoices(model_.photos());
    if (choices == choices_) return;
    choices_ = std::move(choices);
    for (QComboBox* box : {reference_, other_}) {
        const auto kept = chosenPhoto(box);
        const QSignalBlocker block(box);
        box->clear();
        box->addItem(qs(texts::choosePhoto), QString());
        for (const SyncChoice& choice : choices_) box->addItem(qs(choice.title), qpath(choice.photo));
        box->setCurrentIndex(kept ? std::max(box->findData(qpath(*kept)), 0) : 0);
    }
}

void ClockSuggestionsView::syncRows() {
    shown_ = clockSuggestions(model_.photos(), model_.corrections(), syncShot());
    clearLayout(rows_);
    applyButtons_.clear();
    syncProblem_->setMessage(shown_.syncProblem ? qs(*shown_.syncProblem) : QString());
    if (shown_.suggestions.empty()) {
        rows_->addWidget(makeNote(qs(texts::none), rowsOwner_));
        return;
    }
    for (const ClockSuggestion& suggestion : shown_.suggestions) {
        auto* row = new QWidget(rowsOwner_);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 4);
        auto* words = new QVBoxLayout;
        auto* heading = new QLabel(qs(suggestion.heading), row);
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
        heading->setWordWrap(true);
        words->addWidget(heading);
        auto* evidence = new QLabel(qs(suggestion.proposal.evidence), row);
        evidence->setWordWrap(true);
        evidence->setTextInteractionFlags(Qt::TextSelectableByMouse);
        words->addWidget(evidence);
        for (const std::string& note : suggestion.proposal.notes) words->addWidget(makeNote(qs(note), row));
        layout->addLayout(words, 1);

        auto* apply = new QPushButton(qs(suggestion.applied ? texts::applied : texts::apply), row);
        apply->setAutoDefault(false);
        apply->setEnabled(!suggestion.applied && !model_.isRunning());
        apply->setAccessibleName(qs(std::string(texts::apply) + " " + suggestion.heading));
        apply->setToolTip(qs("--shift " + suggestion.proposal.shiftText));
        const records::DateCorrectionRule rule = suggestion.proposal.rule;
        connect(apply, &QPushButton::clicked, &model_, [this, rule] { model_.applyCorrection(rule); });
        layout->addWidget(apply, 0, Qt::AlignTop);
        applyButtons_.push_back(apply);
        rows_->addWidget(row);
    }
}

}  // namespace veltrop::app
