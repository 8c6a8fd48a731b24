#include "app/ui/batch_preview_view.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPushButton>
#include <QPointer>
#include <QScrollArea>
#include <QThreadPool>
#include <QApplication>
#include <QVBoxLayout>

#include "app/ui/qt_text.h"

namespace veltrop::app {

RecordPreviewCard::RecordPreviewCard(records::DiscoveredPhoto photo, records::PhotoRecord record,
                                     settings::StampConfiguration configuration, std::optional<image::Bitmap> logo,
                                     AppModel::PreviewRenderer renderer, QWidget* parent)
    : QWidget(parent),
      photo_(std::move(photo)),
      record_(std::move(record)),
      configuration_(std::move(configuration)),
      logo_(std::move(logo)),
      renderer_(std::move(renderer)) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    image_ = new ImageView(this);
    image_->setMinimumSize(220, 180);
    image_->setAccessibleName(QStringLiteral("Preview of ") + qs(record_.sourceName));
    column->addWidget(image_, 1);
    error_ = new WarningRow(this);
    column->addWidget(error_);
    name_ = new QLabel(qs(record_.sourceName), this);
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    name_->setToolTip(qs(record_.sourcePath));
    column->addWidget(name_);
    details_ = makeNote(qs(record_.reference + "  \u00b7  " + dateSourceText(record_)), this);
    column->addWidget(details_);
}

QString RecordPreviewCard::captionText() const { return name_->text() + QLatin1Char('\n') + details_->text(); }

void RecordPreviewCard::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!started_) render();
}

void RecordPreviewCard::render() {
    started_ = true;
    PreviewInput input{photo_, configuration_, logo_, record_};
    QPointer<RecordPreviewCard> self(this);
    auto renderer = renderer_ ? renderer_ : AppModel::PreviewRenderer(renderPreview);
    QThreadPool::globalInstance()->start([self, input = std::move(input), renderer]() mutable {
        PreviewOutcome outcome = renderer(input);
        QMetaObject::invokeMethod(
            qApp, [self, outcome = std::move(outcome)]() mutable {
                if (self) self->apply(std::move(outcome));
            },
            Qt::QueuedConnection);
    });
}

void RecordPreviewCard::apply(PreviewOutcome outcome) {
    loaded_ = true;
    if (outcome) {
        image_->setImage(toQImage(*outcome));
        error_->setMessage(QString());
    } else {
        image_->setImage(QImage());
        error_->setMessage(qs(outcome.error()));
    }
    emit loaded();
}

BatchPreviewView::BatchPreviewView(AppModel& model, QWidget* parent) : QDialog(parent) {
    setWindowTitle(qs(batchPreviewTexts::title));
    setWindowModality(Qt::WindowModal);
    resize(980, 680);
    setMinimumSize(640, 480);
    auto* column = new QVBoxLayout(this);
    auto* title = new QLabel(qs(batchPreviewTexts::title), this);
    QFont font = title->font();
    font.setPointSizeF(font.pointSizeF() * 1.4);
    font.setBold(true);
    title->setFont(font);
    column->addWidget(title);
    column->addWidget(makeNote(qs(batchPreviewTexts::note), this));

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    auto* grid = new QWidget(scroll);
    auto* layout = new QGridLayout(grid);
    const auto photos = model.representativePhotos();
    const int columns = photos.size() > 2 ? 2 : static_cast<int>(std::max<std::size_t>(photos.size(), 1));
    int index = 0;
    for (const auto& photo : photos) {
        auto record = model.record(photo.url);
        if (!record) continue;
        auto* card = new RecordPreviewCard(photo, *record, model.configuration(), model.watermarkImage(),
                                           model.previewRenderer(), grid);
        cards_.append(card);
        layout->addWidget(card, index / columns, index % columns);
        ++index;
    }
    if (cards_.isEmpty()) layout->addWidget(new QLabel(QStringLiteral("There are no photos in the batch."), grid));
    scroll->setWidget(grid);
    column->addWidget(scroll, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* done = buttons->addButton(QStringLiteral("Done"), QDialogButtonBox::AcceptRole);
    done->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    column->addWidget(buttons);
}

bool BatchPreviewView::allLoaded() const {
    for (auto* card : cards_)
        if (!card->isLoaded()) return false;
    return true;
}

}  // namespace veltrop::app
