#include "kit/handover/contact_sheet.h"

#include <deque>
#include <future>
#include <vector>

#include "kit/dates/exif_fields.h"
#include "kit/export/image_loader.h"
#include "kit/handover/handover_package.h"
#include "kit/platform/pdf_document.h"

namespace veltrop::handover::ContactSheet {

namespace {

using exporting::FileOutcome;
using exporting::FileResult;

// Page geometry in PDF points, origin bottom left.
constexpr double pageWidth = 595;
constexpr double pageHeight = 842;
constexpr double margin = 32;
constexpr double textWidth = 531;
constexpr double textGrey = 0.12;
constexpr std::string_view fontFamily = "Helvetica";

constexpr std::size_t thumbnailsPerPage = 6;
constexpr double columnX[2] = {32, 305};
constexpr double firstRowTop = 738;
constexpr double rowPitch = 228;
constexpr double boxWidth = 258;
constexpr double boxHeight = 158;
constexpr double captionBaselines[4] = {174, 189, 204, 217};  // below the row top
constexpr double captionSizes[4] = {10, 9, 8, 8};

constexpr std::size_t issuesPerPage = 12;
constexpr double firstIssueBaseline = 723;
constexpr double issuePitch = 55;
constexpr double issueSecondLineDrop = 16;

// One per core of a small machine: two decoded thumbnails at most.
constexpr std::size_t thumbnailsLoadedAhead = 2;

const std::string separator = " \u00B7 ";

// Every kind of line break becomes one space: the contact sheet draws one line per text.
std::string oneLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += ' ';
            ++i;
        } else if (c == '\n' || c == '\r' || c == '\v' || c == '\f') {
            out += ' ';
        } else if (text.substr(i, 2) == "\u0085") {
            out += ' ';
            i += 1;
        } else if (text.substr(i, 3) == "\u2028" || text.substr(i, 3) == "\u2029") {
            out += ' ';
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string joinedNonEmpty(const std::vector<std::string>& items, std::string_view between) {
    std::string out;
    for (const auto& item : items) {
        if (item.empty()) continue;
        if (!out.empty()) out += between;
        out += item;
    }
    return out;
}

std::string sourceName(const FileResult& result) { return result.source.filename().string(); }

std::string firstLine(const FileResult& result) {
    return joinedNonEmpty({result.record ? result.record->reference : std::string(), sourceName(result)}, separator);
}

std::string issueText(const FileOutcome& outcome) {
    switch (outcome.kind) {
        case FileOutcome::Kind::failed: return "Failed: " + outcome.failureText();
        case FileOutcome::Kind::skippedNoDate: return "Skipped: no usable date";
        case FileOutcome::Kind::stamped:
        case FileOutcome::Kind::notProcessed: break;
    }
    return "Not processed";
}

class Sheet {
public:
    Sheet(platform::PdfDocument& document, const exporting::BatchSummary& summary, std::string title,
          std::string subtitle, std::size_t totalPages)
        : document_(document),
          summary_(summary),
          title_(std::move(title)),
          subtitle_(std::move(subtitle)),
          counts_(countsLine(summary)),
          totalPages_(totalPages) {}

    void beginPage(bool issuePage) {
        ++page_;
        document_.beginPage();
        text(title_, 20, margin, 803, textWidth);
        text(issuePage ? std::string(issuesSubtitle) : subtitle_, 10, margin, 780, textWidth);
        text(counts_, 9, margin, 763, textWidth);
        text(footer(page_, totalPages_, summary_.wasCancelled), 9, margin, 24, textWidth);
    }

    void text(std::string_view line, double size, double x, double baseline, double width) {
        document_.drawText(oneLine(line), {std::string(fontFamily), size, textGrey}, x, baseline, width);
    }

    [[nodiscard]] std::expected<void, HandoverError> thumbnail(const FileResult& result, const platform::PdfJpeg& image,
                                                 std::size_t slot) {
        const double x = columnX[slot % 2];
        const double rowTop = firstRowTop - rowPitch * static_cast<double>(slot / 2);
        const double scale = std::min(boxWidth / image.width, boxHeight / image.height);
        const double width = image.width * scale;
        const double height = image.height * scale;
        const double left = x + (boxWidth - width) / 2;
        const double bottom = rowTop - boxHeight + (boxHeight - height) / 2;
        if (!document_.drawJpeg(image, left, bottom, width, height))
            return std::unexpected(HandoverError::cannotCreatePDF());

        const auto& record = result.record;
        const std::optional<dates::CaptureDate> resolved = record ? record->resolvedDate : std::nullopt;
        std::string warnings;
        if (record)
            for (const auto& warning : record->warnings) warnings += (warnings.empty() ? "" : "; ") + warning;
        const std::string captions[4] = {
            firstLine(result),
            resolved ? dates::text(*resolved) : "No date",
            joinedNonEmpty({resolved ? std::string(dates::label(resolved->source)) : std::string(),
                            record ? record->correction : std::string()},
                           separator),
            warnings,
        };
        for (int i = 0; i < 4; ++i) text(captions[i], captionSizes[i], x, rowTop - captionBaselines[i], boxWidth);
        return {};
    }

    void issue(const FileResult& result, std::size_t slot) {
        const double baseline = firstIssueBaseline - issuePitch * static_cast<double>(slot);
        text(firstLine(result), 10, margin, baseline, textWidth);
        text(issueText(result.outcome), 9, margin, baseline - issueSecondLineDrop, textWidth);
    }

private:
    platform::PdfDocument& document_;
    const exporting::BatchSummary& summary_;
    std::string title_;
    std::string subtitle_;
    std::string counts_;
    std::size_t totalPages_;
    std::size_t page_ = 0;
};

using Thumbnail = std::expected<platform::PdfJpeg, HandoverError>;

// The thumbnail of one exported copy as JPEG data for the page. The decoded
// pixels live only inside this call.
[[nodiscard]] Thumbnail thumbnailOf(const FileResult& result, const exporting::KeptThumbnails* kept) {
    if (kept) {
        // Only for a copy that is still where it was written.
        std::error_code error;
        if (!std::filesystem::is_regular_file(result.outcome.destination, error))
            return std::unexpected(HandoverError::cannotReadThumbnail(sourceName(result)));
        if (auto picture = kept->find(result.source)) return std::move(*picture);
    }
    auto loaded = exporting::ImageLoader::loadThumbnail(result.outcome.destination, thumbnailMaxPixelSize,
                                                        exporting::ThumbnailOrientation::upright);
    if (!loaded || loaded->image.empty())
        return std::unexpected(HandoverError::cannotReadThumbnail(sourceName(result)));
    auto picture = platform::PdfJpeg::encode(loaded->image, thumbnailJpegQuality);
    if (!picture) return std::unexpected(HandoverError::cannotCreatePDF());
    return std::move(*picture);
}

// Thumbnails of the exported copies, handed out in order. Decoding is nearly
// all of the work, so up to `ahead` copies are read at once on their own
// threads while the pages are drawn; each holds one decoded thumbnail.
class ThumbnailQueue {
public:
    ThumbnailQueue(const std::vector<const FileResult*>& exported, std::size_t ahead,
                   const exporting::KeptThumbnails* kept)
        : exported_(exported), ahead_(std::max<std::size_t>(1, ahead)), kept_(kept) {}

    [[nodiscard]] Thumbnail next() {
        // Kept pictures are ready: nothing to read ahead.
        if (kept_) return thumbnailOf(*exported_[started_++], kept_);
        while (pending_.size() < ahead_ && started_ < exported_.size()) {
            // Deferred only when no thread can be started: then it is read on this one.
            pending_.push_back(std::async(std::launch::async | std::launch::deferred, thumbnailOf,
                                          std::cref(*exported_[started_++]), kept_));
        }
        Thumbnail thumbnail = pending_.front().get();
        pending_.pop_front();
        return thumbnail;
    }

private:
    const std::vector<const FileResult*>& exported_;
    std::size_t ahead_;
    const exporting::KeptThumbnails* kept_;
    std::size_t started_ = 0;
    std::deque<std::future<Thumbnail>> pending_;
};

}  // namespace

PageCount pageCount(std::size_t exported, std::size_t issues) {
    return {std::max<std::size_t>(1, (exported + thumbnailsPerPage - 1) / thumbnailsPerPage),
            (issues + issuesPerPage - 1) / issuesPerPage};
}

std::string documentTitle(const settings::StampConfiguration& configuration) {
    std::string title = configuration.project ? dates::trimmed(configuration.project->title) : std::string();
    return title.empty() ? std::string(untitledPackageTitle) : title;
}

std::string countsLine(const exporting::BatchSummary& summary) {
    const auto count = [&](FileOutcome::Kind kind) { return std::to_string(summary.count(kind)); };
    return count(FileOutcome::Kind::stamped) + " of " + std::to_string(summary.results.size()) + " exported" +
           separator + count(FileOutcome::Kind::skippedNoDate) + " skipped" + separator +
           count(FileOutcome::Kind::failed) + " failed" + separator + count(FileOutcome::Kind::notProcessed) +
           " not processed";
}

std::string footer(std::size_t page, std::size_t total, bool wasCancelled) {
    std::string text = "Veltrop" + separator + std::to_string(page) + " of " + std::to_string(total);
    if (wasCancelled) text += cancelledSuffix;
    return text;
}

std::expected<std::string, HandoverError> make(const exporting::BatchSummary& summary,
                                               const settings::StampConfiguration& configuration,
                                               const exporting::KeptThumbnails* kept) {
    std::vector<const FileResult*> exported, issues;
    for (const auto& result : summary.results)
        (result.outcome.kind == FileOutcome::Kind::stamped ? exported : issues).push_back(&result);
    const PageCount pages = pageCount(exported.size(), issues.size());

    const std::string title = documentTitle(configuration);
    auto document = platform::PdfDocument::create(pageWidth, pageHeight, title, creator);
    if (!document) return std::unexpected(HandoverError::cannotCreatePDF());

    const std::string subtitle = configuration.project ? configuration.project->location : "Contact sheet";
    Sheet sheet(*document, summary, title, subtitle, pages.total());

    if (exported.empty()) {
        sheet.beginPage(false);
        sheet.text(noExportsText, 11, margin, 710, textWidth);
    }
    if (!exported.empty()) exporting::ImageLoader::prepare();
    ThumbnailQueue thumbnails(exported, thumbnailsLoadedAhead, kept);
    for (std::size_t i = 0; i < exported.size(); ++i) {
        if (i % thumbnailsPerPage == 0) sheet.beginPage(false);
        const Thumbnail image = thumbnails.next();
        if (!image) return std::unexpected(image.error());
        if (auto drawn = sheet.thumbnail(*exported[i], *image, i % thumbnailsPerPage); !drawn)
            return std::unexpected(drawn.error());
    }
    for (std::size_t j = 0; j < issues.size(); ++j) {
        if (j % issuesPerPage == 0) sheet.beginPage(true);
        sheet.issue(*issues[j], j % issuesPerPage);
    }

    auto bytes = document->finish();
    if (!bytes) return std::unexpected(HandoverError::cannotCreatePDF());
    return std::move(*bytes);
}

}  // namespace veltrop::handover::ContactSheet
