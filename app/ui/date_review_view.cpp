#include "app/ui/date_review_view.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QScrollArea>
#include <QSplitter>

#include "app/ui/clock_suggestions.h"
#include "app/ui/qt_text.h"

namespace veltrop::app {

namespace fs = std::filesystem;
namespace texts = dateReviewTexts;

namespace {

constexpr ReviewFilter filters[] = {ReviewFilter::allPhotos, ReviewFilter::needsAttention, ReviewFilter::corrected};

QSpinBox* makeStepper(int limit, const QString& name, QWidget* parent) {
    auto* box = new QSpinBox(parent);
    box->setRange(-limit, limit);
    box->setAccessibleName(name);
    box->setMinimumWidth(70);
    return box;
}

// Sets a flag for as long as it lives.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagGuard() { flag_ = false; }

private:
    bool& flag_;
};

void clearLayout(QLayout* layout) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) widget->deleteLater();
        delete item;
    }
}

}  // namespace

DateReviewView::DateReviewView(AppModel& model, QWidget* parent) : QDialog(parent), model_(model) {
    setWindowTitle(qs(texts::title));
    setWindowModality(Qt::WindowModal);
    resize(1180, 720);
    setMinimumSize(760, 520);
    auto* column = new QVBoxLayout(this);

    auto* title = new QLabel(qs(texts::title), this);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    title->setFont(font);
    column->addWidget(title);
    column->addWidget(makeNote(qs(texts::subtitle), this));

    auto* top = new QHBoxLayout;
    header_ = new QLabel(this);
    filterBox_ = new QComboBox(this);
    for (ReviewFilter filter : filters) filterBox_->addItem(qs(filterTitle(filter)));
    filterBox_->setAccessibleName(QStringLiteral("Show"));
    auto* showLabel = new QLabel(QStringLiteral("Sho&w"), this);
    showLabel->setBuddy(filterBox_);
    top->addWidget(header_, 1);
    top->addWidget(showLabel);
    top->addWidget(filterBox_);
    column->addLayout(top);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* left = new QWidget(splitter);
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(0, 0, 0, 0);
    rows_ = new DateReviewModel(this);
    rows_->setAttentionIcon(QIcon(warningSymbol(this)));
    table_ = new QTreeView(left);
    table_->setModel(rows_);
    table_->setRootIsDecorated(false);
    table_->setAlternatingRowColors(true);
    table_->setAccessibleName(QStringLiteral("Photo dates"));
    table_->setUniformRowHeights(true);
    table_->setIconSize(QSize(14, 14));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->header()->resizeSection(0, 190);
    table_->header()->resizeSection(1, 140);
    table_->header()->resizeSection(2, 270);
    leftColumn->addWidget(table_, 1);
    empty_ = new QLabel(qs(texts::noMatch), left);
    empty_->setAlignment(Qt::AlignCenter);
    leftColumn->addWidget(empty_);
    leftColumn->addWidget(buildRawFields(left));

    auto* scroll = new QScrollArea(splitter);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* right = new QWidget(scroll);
    auto* rightColumn = new QVBoxLayout(right);
    rightColumn->setContentsMargins(8, 0, 8, 0);
    rightColumn->addWidget(buildRange(right));
    rightColumn->addWidget(new ClockSuggestionsView(model_, right));
    rightColumn->addWidget(buildForm(right));
    rightColumn->addWidget(buildApplied(right));
    rightColumn->addStretch(1);
    scroll->setWidget(right);
    splitter->addWidget(left);
    splitter->addWidget(scroll);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    splitter->setSizes({740, 420});
    column->addWidget(splitter, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* done = buttons->addButton(QStringLiteral("Done"), QDialogButtonBox::AcceptRole);
    done->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    column->addWidget(buttons);

    connect(filterBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) setFilter(filters[index]);
    });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this](const QModelIndex& current) {
        if (current.isValid() && !showingSelection_) selectPhoto(toPath(current.data(DateReviewModel::locationRole).toString()));
    });
    for (auto signal : {&AppModel::photosChanged, &AppModel::correctionsChanged, &AppModel::expectedRangeChanged,
                        &AppModel::configurationChanged, &AppModel::ordinalsChanged, &AppModel::runningChanged})
        connect(&model_, signal, this, &DateReviewView::sync);
    pointBuddiesAtInputs(this);
    sync();
}

QWidget* DateReviewView::buildRawFields(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Original date fields"), parent);
    rawFieldsOwner_ = box;
    rawFields_ = new QVBoxLayout(box);
    return box;
}

QWidget* DateReviewView::buildRange(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Expected project dates"), parent);
    auto* form = new QFormLayout(box);
    rangeEnabled_ = new QCheckBox(QStringLiteral("Check &expected project dates"), box);
    rangeEnabled_->setToolTip(QStringLiteral("Flag photos whose dates fall outside the project's dates"));
    form->addRow(rangeEnabled_);
    // Whole days, as the range is checked: the first day from 00:00:00, the last until 23:59:59.
    from_ = new QDateEdit(box);
    from_->setCalendarPopup(true);
    from_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    from_->setAccessibleName(QStringLiteral("From"));
    from_->setToolTip(QStringLiteral("The first day of the project, from 00:00:00"));
    to_ = new QDateEdit(box);
    to_->setCalendarPopup(true);
    to_->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    to_->setAccessibleName(QStringLiteral("To"));
    to_->setToolTip(QStringLiteral("The last day of the project, until 23:59:59"));
    form->addRow(QStringLiteral("&From"), from_);
    form->addRow(QStringLiteral("&To"), to_);
    rangeWarning_ = new WarningRow(box);
    form->addRow(rangeWarning_);
    connect(rangeEnabled_, &QCheckBox::toggled, &model_, &AppModel::setExpectedRangeEnabled);
    connect(from_, &QDateEdit::dateChanged, &model_, &AppModel::setExpectedStart);
    connect(to_, &QDateEdit::dateChanged, &model_, &AppModel::setExpectedEnd);
    return box;
}

QWidget* DateReviewView::buildForm(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Date correction"), parent);
    auto* column = new QVBoxLayout(box);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    scope_ = new QComboBox(box);
    scope_->setAccessibleName(QStringLiteral("Apply to"));
    scope_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    scope_->setMinimumContentsLength(18);
    form->addRow(QStringLiteral("&Apply to"), scope_);
    column->addLayout(form);
    column->addWidget(makeNote(qs(texts::scopeNote), box));
    kind_ = new QComboBox(box);
    kind_->addItems({QStringLiteral("Clock shift"), QStringLiteral("Supply date")});
    kind_->setAccessibleName(QStringLiteral("Correction type"));
    column->addWidget(kind_);

    shiftRow_ = new QWidget(box);
    auto* shiftColumn = new QVBoxLayout(shiftRow_);
    shiftColumn->setContentsMargins(0, 0, 0, 0);
    auto* steppers = new QHBoxLayout;
    days_ = makeStepper(366, QStringLiteral("Days"), shiftRow_);
    hours_ = makeStepper(23, QStringLiteral("Hours"), shiftRow_);
    minutes_ = makeStepper(59, QStringLiteral("Minutes"), shiftRow_);
    for (auto [label, stepper] : {std::pair{QStringLiteral("&Days"), days_}, std::pair{QStringLiteral("H&ours"), hours_},
                                  std::pair{QStringLiteral("M&inutes"), minutes_}}) {
        auto* caption = new QLabel(label, shiftRow_);
        caption->setBuddy(stepper);
        steppers->addWidget(caption);
        steppers->addWidget(stepper);
    }
    steppers->addStretch(1);
    shiftColumn->addLayout(steppers);
    shiftColumn->addWidget(makeNote(qs(texts::shiftNote), shiftRow_));
    column->addWidget(shiftRow_);

    supplyRow_ = new QWidget(box);
    auto* supplyColumn = new QVBoxLayout(supplyRow_);
    supplyColumn->setContentsMargins(0, 0, 0, 0);
    supplied_ = new QLineEdit(supplyRow_);
    supplied_->setPlaceholderText(QStringLiteral("YYYY-MM-DD HH:MM:SS"));
    supplied_->setAccessibleName(QStringLiteral("Supplied date and time"));
    auto* supplyForm = new QFormLayout;
    supplyForm->addRow(QStringLiteral("&Supplied date and time"), supplied_);
    supplyColumn->addLayout(supplyForm);
    supplyColumn->addWidget(makeNote(qs(texts::supplyNote), supplyRow_));
    column->addWidget(supplyRow_);

    column->addWidget(makeNote(qs(texts::recentNote), box));
    whatIf_ = new QLabel(box);
    whatIf_->setWordWrap(true);
    column->addWidget(whatIf_);
    apply_ = new QPushButton(QStringLiteral("Apply &correction"), box);
    apply_->setAccessibleName(QStringLiteral("Apply correction"));
    apply_->setAutoDefault(false);
    column->addWidget(apply_, 0, Qt::AlignLeft);
    reason_ = new WarningRow(box);
    column->addWidget(reason_);

    connect(scope_, &QComboBox::currentIndexChanged, this, &DateReviewView::syncForm);
    connect(kind_, &QComboBox::currentIndexChanged, this, &DateReviewView::syncForm);
    for (QSpinBox* stepper : {days_, hours_, minutes_})
        connect(stepper, &QSpinBox::valueChanged, this, &DateReviewView::syncForm);
    connect(supplied_, &QLineEdit::textChanged, this, &DateReviewView::syncForm);
    connect(apply_, &QPushButton::clicked, this, [this] {
        const CorrectionAssessment assessment = model_.assessCorrection(this->form(), selection_);
        if (assessment.rule && assessment.canApply) model_.applyCorrection(*assessment.rule);
    });
    return box;
}

QWidget* DateReviewView::buildApplied(QWidget* parent) {
    auto* box = new QGroupBox(QStringLiteral("Applied to this batch"), parent);
    auto* column = new QVBoxLayout(box);
    appliedOwner_ = new QWidget(box);
    appliedList_ = new QVBoxLayout(appliedOwner_);
    appliedList_->setContentsMargins(0, 0, 0, 0);
    column->addWidget(appliedOwner_);
    column->addWidget(makeNote(qs(texts::appliedNote), box));
    return box;
}

void DateReviewView::selectPhoto(const std::optional<fs::path>& photo) {
    if (selection_ == photo) return;
    selection_ = photo;
    showSelection();
    syncRawFields();
    syncScopes();
    syncForm();
}

void DateReviewView::setFilter(ReviewFilter filter) {
    filter_ = filter;
    for (std::size_t i = 0; i < std::size(filters); ++i)
        if (filters[i] == filter) setIndexQuietly(filterBox_, static_cast<int>(i));
    syncTable();
}

CorrectionForm DateReviewView::form() const {
    CorrectionForm result;
    const int index = scope_->currentIndex();
    if (index >= 0 && static_cast<std::size_t>(index) < scopes_.size())
        result.scope = scopes_[static_cast<std::size_t>(index)].scope;
    result.supplyDate = kind_->currentIndex() == 1;
    result.days = days_->value();
    result.hours = hours_->value();
    result.minutes = minutes_->value();
    result.suppliedText = utf8(supplied_->text());
    return result;
}

// While the check is off, the pickers follow the batch: its first and last day.
void DateReviewView::followBatchDays() {
    if (model_.expectedRangeEnabled()) return;
    const auto span = resolvedDateSpan(model_.records());
    if (!span) return;
    const QDate first(static_cast<int>(span->first.year), static_cast<int>(span->first.month),
                      static_cast<int>(span->first.day));
    const QDate last(static_cast<int>(span->last.year), static_cast<int>(span->last.month),
                     static_cast<int>(span->last.day));
    const FlagGuard guard(followingBatch_);
    model_.setExpectedStart(first);
    model_.setExpectedEnd(last);
}

void DateReviewView::sync() {
    if (followingBatch_) return;
    followBatchDays();
    bool stillThere = false;
    for (const auto& photo : model_.photos())
        if (selection_ && photo.url == *selection_) stillThere = true;
    if (!stillThere) selection_.reset();
    syncTable();
    syncRawFields();
    syncScopes();
    {
        const QSignalBlocker a(rangeEnabled_), b(from_), c(to_);
        rangeEnabled_->setChecked(model_.expectedRangeEnabled());
        from_->setDate(model_.expectedStart());
        to_->setDate(model_.expectedEnd());
    }
    from_->setEnabled(model_.expectedRangeEnabled());
    to_->setEnabled(model_.expectedRangeEnabled());
    rangeWarning_->setMessage(model_.expectedRangeIsInverted() ? qs(texts::rangeInverted) : QString());
    syncForm();
    syncApplied();
}

void DateReviewView::syncTable() {
    const auto& photos = model_.photos();
    const std::pair made{model_.recordsRevision(), filter_};
    if (rowsMadeFrom_ != made) {
        rows_->setRows(reviewRows(photos, model_.records(), filter_));
        rowsMadeFrom_ = made;
    }
    showSelection();
    empty_->setVisible(rows_->rowCount() == 0);
    const std::size_t attention = model_.needsAttentionCount();
    header_->setText(qs(std::to_string(photos.size()) + (photos.size() == 1 ? " photo" : " photos") +
                        (attention > 0 ? "  \u00b7  " + std::to_string(attention) + reviewTexts::needAttentionSuffix
                                       : std::string())));
}

// Marks the review's own selection in the list; the view must hear of it to
// draw it, the review must not take it as a new choice.
void DateReviewView::showSelection() {
    const FlagGuard guard(showingSelection_);
    const int row = selection_ ? rows_->rowOf(*selection_) : -1;
    QItemSelectionModel* selection = table_->selectionModel();
    if (row < 0)
        selection->clear();
    else if (selection->currentIndex().row() != row || !selection->isRowSelected(row))
        selection->setCurrentIndex(rows_->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void DateReviewView::syncRawFields() {
    clearLayout(rawFields_);
    const records::DiscoveredPhoto* photo = nullptr;
    for (const auto& candidate : model_.photos())
        if (selection_ && candidate.url == *selection_) photo = &candidate;
    if (!photo) {
        rawFields_->addWidget(makeNote(qs(texts::selectPrompt), rawFieldsOwner_));
        return;
    }
    auto* name = new QLabel(qs(photo->url.filename().string()), rawFieldsOwner_);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    rawFields_->addWidget(name);
    if (photo->dateAudit.candidates.empty()) {
        rawFields_->addWidget(new QLabel(qs(reviewTexts::noRecordedDate), rawFieldsOwner_));
        return;
    }
    for (const auto& candidate : photo->dateAudit.candidates) {
        auto* line = new QLabel(qs(std::string(dates::label(candidate.source)) + ": " + candidate.raw), rawFieldsOwner_);
        line->setTextInteractionFlags(Qt::TextSelectableByMouse);
        rawFields_->addWidget(line);
    }
}

void DateReviewView::syncScopes() {
    const records::DiscoveredPhoto* photo = nullptr;
    for (const auto& candidate : model_.photos())
        if (selection_ && candidate.url == *selection_) photo = &candidate;
    auto choices = scopeChoices(photo);
    if (choices == scopes_) return;
    const auto previousKind = form().scope.kind;
    scopes_ = std::move(choices);
    const QSignalBlocker block(scope_);
    scope_->clear();
    int keep = 0;
    for (std::size_t i = 0; i < scopes_.size(); ++i) {
        scope_->addItem(qs(scopes_[i].title));
        if (scopes_[i].scope.kind == previousKind) keep = static_cast<int>(i);
    }
    scope_->setCurrentIndex(keep);
}

void DateReviewView::syncForm() {
    const bool supply = kind_->currentIndex() == 1;
    shiftRow_->setVisible(!supply);
    supplyRow_->setVisible(supply);
    const CorrectionAssessment assessment = model_.assessCorrection(form(), selection_);
    whatIf_->setText(assessment.whatIf ? qs(*assessment.whatIf) : QString());
    whatIf_->setVisible(assessment.whatIf.has_value());
    apply_->setEnabled(assessment.canApply && !model_.isRunning());
    reason_->setMessage(assessment.canApply ? QString() : qs(assessment.disabledReason.value_or("")));
    apply_->setToolTip(assessment.canApply ? QStringLiteral("Add this correction to the batch")
                                           : qs(assessment.disabledReason.value_or("")));
}

void DateReviewView::syncApplied() {
    clearLayout(appliedList_);
    appliedTexts_.clear();
    if (model_.corrections().empty()) {
        appliedList_->addWidget(new QLabel(qs(reviewTexts::noCorrections), appliedOwner_));
        return;
    }
    for (const auto& rule : model_.corrections()) {
        auto* row = new QWidget(appliedOwner_);
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        auto* text = new QLabel(qs(appliedCorrectionText(rule)), row);
        text->setWordWrap(true);
        appliedTexts_ << text->text();
        auto* remove = new QPushButton(QStringLiteral("Remove"), row);
        remove->setAutoDefault(false);
        remove->setAccessibleName(QStringLiteral("Remove ") + text->text());
        const settings::Uuid id = rule.id;
        connect(remove, &QPushButton::clicked, &model_, [this, id] { model_.removeCorrection(id); });
        layout->addWidget(text, 1);
        layout->addWidget(remove);
        appliedList_->addWidget(row);
    }
}

QString DateReviewView::rawFieldsText() const {
    QStringList lines;
    for (int i = 0; i < rawFields_->count(); ++i)
        if (auto* label = qobject_cast<QLabel*>(rawFields_->itemAt(i)->widget())) lines << label->text();
    return lines.join(QLatin1Char('\n'));
}


}  // namespace veltrop::app
