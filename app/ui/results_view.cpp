#include "app/ui/results_view.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

#include "app/ui/package_check_view.h"
#include "app/ui/pane_parts.h"
#include "app/ui/qt_text.h"
#include "kit/handover/package_checksums.h"

namespace veltrop::app {

namespace fs = std::filesystem;

ResultsView::ResultsView(AppModel& model, IdentifiedSummary summary, QWidget* parent)
    : QDialog(parent), model_(model), summary_(std::move(summary)) {
    const exporting::BatchSummary& s = summary_.summary;
    setWindowTitle(QStringLiteral("Export results"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(500);
    auto* column = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* symbol = new QLabel(this);
    warning_ = resultsAreWarning(s);
    const auto icon = warning_ ? QStyle::SP_MessageBoxWarning : QStyle::SP_DialogApplyButton;
    symbol->setPixmap(style()->standardIcon(icon, nullptr, this).pixmap(32, 32));
    headline_ = new QLabel(qs(resultsHeadline(s)), this);
    QFont font = headline_->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    headline_->setFont(font);
    top->addWidget(symbol);
    top->addWidget(headline_, 1);
    column->addLayout(top);

    for (const std::string& line : resultCountLines(s)) {
        auto* label = new QLabel(qs(line), this);
        counts_.append(label);
        column->addWidget(label);
    }

    const bool anyFailed = s.count(exporting::FileOutcome::Kind::failed) > 0;
    if (anyFailed) {
        column->addWidget(makeHeader(QStringLiteral("Failed"), this));
        auto* area = new QScrollArea(this);
        area->setWidgetResizable(true);
        area->setFrameShape(QFrame::StyledPanel);
        auto* list = new QWidget(area);
        auto* lines = new QVBoxLayout(list);
        for (const auto& result : s.results) {
            if (result.outcome.kind != exporting::FileOutcome::Kind::failed) continue;
            auto* label = new QLabel(qs(failureLine(result)), list);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            label->setToolTip(qpath(result.source));
            failures_.append(label);
            lines->addWidget(label);
        }
        lines->addStretch(1);
        area->setWidget(list);
        area->setMaximumHeight(150);
        column->addWidget(area);
    }

    if (!s.outputRoots.empty() || hasUnfinished(s)) column->addWidget(makeHeader(QStringLiteral("Copies"), this));
    if (s.outputRoots.size() == 1) {
        const fs::path root = s.outputRoots.front();
        const std::string name = root.filename().empty() ? root.string() : root.filename().string();
        auto* reveal = new QPushButton(qs(resultsTexts::revealCopiesPrefix + name + "\u201D"), this);
        reveal->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon, nullptr, this));
        reveal->setToolTip(qpath(root));
        reveal->setAccessibleName(QStringLiteral("Reveal output folder ") + qpath(root));
        connect(reveal, &QPushButton::clicked, this, [this, root] { model_.reveal({root}); });
        column->addWidget(reveal, 0, Qt::AlignLeft);
    } else if (s.outputRoots.size() > 1) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(qs(std::to_string(s.outputRoots.size()) + " output folders"), this));
        auto* reveal = new QPushButton(QStringLiteral("Reveal all in file manager"), this);
        QStringList paths;
        for (const auto& root : s.outputRoots) paths << qpath(root);
        reveal->setToolTip(paths.join(QLatin1Char('\n')));
        const auto roots = s.outputRoots;
        connect(reveal, &QPushButton::clicked, this, [this, roots] { model_.reveal(roots); });
        row->addWidget(reveal);
        row->addStretch(1);
        column->addLayout(row);
    }

    if (hasUnfinished(s)) {
        auto* keep = new QPushButton(QStringLiteral("Keep unfinished photos"), this);
        keep->setToolTip(qs(resultsTexts::keepHelp));
        keep->setWhatsThis(qs(resultsTexts::keepHelp));
        connect(keep, &QPushButton::clicked, this, [this] {
            model_.keepUnfinishedPhotos();
            accept();
        });
        column->addWidget(keep, 0, Qt::AlignLeft);
    }

    if (summary_.handover) {
        const auto package = *summary_.handover;
        column->addWidget(makeHeader(QStringLiteral("Handover package"), this));
        // The package's own name, so that its button needs none and cannot be mistaken for the copies'.
        auto* name = new QLabel(qpath(package.root.filename()), this);
        name->setTextInteractionFlags(Qt::TextSelectableByMouse);
        name->setToolTip(qpath(package.root));
        column->addWidget(name);
        auto* row = new QHBoxLayout;
        auto* reveal = new QPushButton(qs(resultsTexts::revealPackage), this);
        reveal->setIcon(style()->standardIcon(QStyle::SP_DirHomeIcon, nullptr, this));
        reveal->setToolTip(qpath(package.root));
        reveal->setAccessibleName(QStringLiteral("Reveal handover folder ") + qpath(package.root));
        connect(reveal, &QPushButton::clicked, this, [this, package] { model_.reveal({package.root}); });
        row->addWidget(reveal);
        std::error_code error;
        if (package.contactSheet && fs::exists(*package.contactSheet, error)) {
            auto* open = new QPushButton(QStringLiteral("Open contact sheet"), this);
            open->setToolTip(qpath(*package.contactSheet));
            connect(open, &QPushButton::clicked, this, [this, package] { model_.open(*package.contactSheet); });
            row->addWidget(open);
        }
        if (package.index && fs::exists(*package.index, error)) {
            auto* open = new QPushButton(QStringLiteral("Open photo index"), this);
            open->setToolTip(qpath(*package.index));
            connect(open, &QPushButton::clicked, this, [this, package] { model_.open(*package.index); });
            row->addWidget(open);
        }
        row->addStretch(1);
        column->addLayout(row);
        column->addWidget(new PackageCheckView(package.root, handover::listedOriginals(summary_.summary), this));
        if (package.error) {
            auto* problem = new WarningRow(this);
            problem->setMessage(qs(resultsTexts::packageFailed + *package.error));
            column->addWidget(problem);
        }
    }

    column->addStretch(1);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* done = buttons->addButton(QStringLiteral("Done"), QDialogButtonBox::AcceptRole);
    done->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    column->addWidget(buttons);
}

QStringList ResultsView::countLines() const {
    QStringList lines;
    for (auto* label : counts_) lines << label->text();
    return lines;
}

QString ResultsView::failuresText() const {
    QStringList lines;
    for (auto* label : failures_) lines << label->text();
    return lines.join(QLatin1Char('\n'));
}

QPushButton* ResultsView::button(const QString& title) const {
    for (auto* candidate : findChildren<QPushButton*>())
        if (candidate->text() == title) return candidate;
    return nullptr;
}

}  // namespace veltrop::app
