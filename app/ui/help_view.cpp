#include "app/ui/help_view.h"

#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/ui/pane_parts.h"
#include "app/ui/qt_text.h"

namespace veltrop::app {

HelpLinks HelpLinks::configured(bool updatesConfigured) {
    HelpLinks links;
    links.updatesConfigured = updatesConfigured;
    links.locations = DataLocations::current();
#ifdef VELTROP_PRIVACY_URL
    links.privacyPolicy = QUrl(QStringLiteral(VELTROP_PRIVACY_URL));
#endif
#ifdef VELTROP_FEEDBACK_URL
    links.feedbackForm = QUrl(QStringLiteral(VELTROP_FEEDBACK_URL));
#endif
    if (const QString privacy = qEnvironmentVariable("VELTROP_PRIVACY_URL"); !privacy.isEmpty())
        links.privacyPolicy = QUrl(privacy);
    if (const QString feedback = qEnvironmentVariable("VELTROP_FEEDBACK_URL"); !feedback.isEmpty())
        links.feedbackForm = QUrl(feedback);
    return links;
}

std::vector<HelpSection> helpSections(const HelpLinks& links) {
    const std::string settingsFolder = utf8(links.locations.settingsFolder);
    const std::string dataFolder = utf8(links.locations.dataFolder);
    std::string updates =
        "Veltrop is downloaded from its web site. Check for Updates\u2026 in the Help menu checks now; in "
        "Settings you choose whether Veltrop checks automatically, at most once a day, and whether the download "
        "page of a newer version opens without asking. Automatic checks stay off until you turn them on. A check "
        "reads one small file from the Veltrop web site that names the newest version and its download page; when "
        "a newer version exists, Veltrop offers to open that page in your browser. Update checks never send "
        "photos, project records or any information about your computer, and there is no system profiling.";
    if (!links.updatesConfigured)
        updates += " This copy of Veltrop was built without an update address, so it cannot check for updates.";
    return {
        {"Using Veltrop",
         {"Choose or drop JPEG and HEIC photos, select a preset, and check the preview before exporting. Originals "
          "are never changed. Exports are JPEG copies."}},
        {"Photo records",
         {"Enter a project title, an optional location label and a reference prefix. In Data strip mode, the extra "
          "row includes the reference, original filename and location label. Preview batch shows representative "
          "photos, including portraits and changed or missing dates."}},
        {"Review dates and corrections",
         {"Review dates & corrections shows recorded and resolved dates, invalid metadata, conflicting "
          "original/digitised dates and dates outside an optional project range. Select a photo to inspect its raw "
          "date fields. A TIFF date may describe an edit rather than capture.",
          "Apply an explicit clock shift or supply a date for all photos, a camera model, a folder or the selected "
          "photo. A camera-model rule covers every camera with that model; choose a folder for a specific device. "
          "The most recent matching rule is used, without adding shifts together. Corrections affect stamps, "
          "filenames and reports; originals are retained, and so is the date metadata in JPEG copies unless Write "
          "corrected dates into the copies is on. Corrections are for the current batch and clear when you clear "
          "the batch or quit."}},
        {"Export folders",
         {"With Include contact sheet and photo index enabled, choose a destination. Each export creates a new "
          "handover folder containing Photos, Contact sheet.pdf and Photo index.csv. Existing packages are never "
          "overwritten. The index records every input, including skipped, failed and unfinished photos, original "
          "date fields and any correction. The contact sheet shows exported copies and lists inputs that were not "
          "exported.",
          "With reports off, folder imports create a Timestamped folder inside the imported folder; individual "
          "photos require an output folder. Saved presets include project labels, reference settings, report "
          "choice and the chosen destination. Veltrop remembers the output folder by its place on disk: if it "
          "moves, is renamed or is on a drive that is not connected, choose it again. Older presets remain "
          "readable; the new preset format protects project settings from older app versions."}},
        {"Missing dates",
         {"Photos without a usable date are skipped when a timestamp or filename needs one. Review dates to "
          "explicitly supply a date, choose file dates, or export watermarks without a timestamp. A supplied or "
          "file date is identified in the index and is never presented as an original EXIF date."}},
        {"Watermarks and data strips",
         {"Long text and wide logos shrink to fit the photo. If a watermark meets an overlaid timestamp, it moves "
          "inward to leave a gap. The preview shows the same placement as the export. Retro changes the "
          "timestamp's digits; data-strip labels and camera details stay in a readable text font."}},
        {"Cancelled exports",
         {"Cancellation lets photos already being written finish. The results show how many were exported and how "
          "many remain. Choose Keep unfinished photos to work on the remaining or failed photos without exporting "
          "successful copies again. When a job uses several destinations, each output folder is listed."}},
        {"Privacy",
         {"Photo processing takes place on your computer. Veltrop does not upload photos, collect analytics, track "
          "you or require an account. Everything Veltrop remembers stays on your computer: its settings in " +
             settingsFolder + ", and presets, imported watermark images and the remembered output folder "
             "in " + dataFolder + ".",
          "Exported photos can retain metadata, including GPS location. Turn on Remove GPS location before "
          "exporting if you want that information removed. Photos you share through another app are subject to "
          "that app\u2019s privacy practices.",
          "Reports omit embedded GPS coordinates and absolute source paths. They include filenames, folder names, "
          "date metadata, project labels and the location label you enter. Check the copies and reports before "
          "sharing them."}},
        {"Updates", {updates}},
        {"Support", {"Support opens the feedback form in your browser."}},
    };
}

HelpView::HelpView(HelpLinks links, QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Veltrop Help"));
    resize(720, 760);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* page = new QWidget(scroll);
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(28, 20, 28, 24);
    column->setSpacing(6);
    QStringList plain;
    for (const HelpSection& section : helpSections(links)) {
        auto* heading = makeHeader(qs(section.heading), page);
        QFont font = heading->font();
        font.setPointSizeF(font.pointSizeF() * 1.2);
        heading->setFont(font);
        column->addWidget(heading);
        plain << qs(section.heading);
        for (const std::string& paragraph : section.paragraphs) {
            auto* text = new QLabel(qs(paragraph), page);
            text->setWordWrap(true);
            text->setTextInteractionFlags(Qt::TextSelectableByMouse);
            column->addWidget(text);
            plain << qs(paragraph);
        }
    }
    auto* linkRow = new QLabel(page);
    auto link = [](const QUrl& url, const QString& title) {
        return url.isValid() && !url.isEmpty()
                   ? QStringLiteral("<a href=\"%1\">%2</a>").arg(url.toString().toHtmlEscaped(), title)
                   : title + QStringLiteral(" (no address in this build)");
    };
    linkRow->setText(link(links.privacyPolicy, QStringLiteral("Privacy policy")) + QStringLiteral(" &nbsp;\u00b7&nbsp; ") +
                     link(links.feedbackForm, QStringLiteral("Feedback form")));
    linkRow->setTextFormat(Qt::RichText);
    linkRow->setOpenExternalLinks(true);
    linkRow->setTextInteractionFlags(Qt::TextBrowserInteraction);
    column->addWidget(linkRow);
    plain << QStringLiteral("Privacy policy") << QStringLiteral("Feedback form");
    column->addStretch(1);
    scroll->setWidget(page);
    outer->addWidget(scroll);
    text_ = plain.join(QLatin1Char('\n'));
}

QString HelpView::plainText() const { return text_; }

}  // namespace veltrop::app
