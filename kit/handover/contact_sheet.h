#pragma once
// "Contact sheet.pdf": A4 pages with a thumbnail and caption for every
// exported copy, then pages listing every input that was not exported.

#include <cstddef>
#include <expected>
#include <string>
#include <string_view>

#include "kit/export/batch_processor.h"
#include "kit/handover/handover_error.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::handover::ContactSheet {

inline constexpr std::string_view creator = "Veltrop";
inline constexpr std::string_view noExportsText =
    "No images were exported. See the index and issue pages for the outcome of every input.";
inline constexpr std::string_view issuesSubtitle = "Images not exported \u2014 full details in Photo index.csv";
inline constexpr std::string_view cancelledSuffix = " \u00B7 Cancelled batch";

// Longer side of the thumbnails the contact sheet is made from.
inline constexpr int thumbnailMaxPixelSize = 700;
// Thumbnails are shown about 258 points wide from 700 pixels; at this
// quality the artefacts stay below what the page shows.
inline constexpr int thumbnailJpegQuality = 75;

// Has the processor keep the thumbnails this sheet needs while it stamps.
inline void keepThumbnails(exporting::BatchProcessor& processor) {
    processor.keepThumbnails(thumbnailMaxPixelSize, thumbnailJpegQuality);
}

struct PageCount {
    std::size_t thumbnailPages = 1;
    std::size_t issuePages = 0;
    std::size_t total() const { return thumbnailPages + issuePages; }
    bool operator==(const PageCount&) const = default;
};
PageCount pageCount(std::size_t exported, std::size_t issues);

// The project's trimmed title, or "Photo records".
std::string documentTitle(const settings::StampConfiguration& configuration);

// "3 of 5 exported · 1 skipped · 1 failed · 0 not processed".
std::string countsLine(const exporting::BatchSummary& summary);

// "Veltrop · 2 of 4", with " · Cancelled batch" after a cancelled batch.
std::string footer(std::size_t page, std::size_t total, bool wasCancelled);

// The whole PDF file, made in memory; fails without a partial document.
// Thumbnails kept by the batch are used for copies that are still there;
// other copies are read again.
[[nodiscard]] std::expected<std::string, HandoverError> make(const exporting::BatchSummary& summary,
                                                             const settings::StampConfiguration& configuration,
                                                             const exporting::KeptThumbnails* kept = nullptr);

}  // namespace veltrop::handover::ContactSheet
