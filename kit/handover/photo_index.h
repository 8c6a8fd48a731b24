#pragma once
// "Photo index.csv": one line for every input of a batch, whatever became of
// it, written for spreadsheets (UTF-8 with a byte-order mark, CR LF, every
// field quoted, formula-like fields defused).

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "kit/export/batch_processor.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::handover::PhotoIndex {

inline constexpr std::array<std::string_view, 19> headers{
    "Reference",
    "Project",
    "Location label",
    "Source file",
    "Exported file",
    "Status",
    "Recorded date",
    "Recorded date source",
    "Resolved date",
    "Resolved date source",
    "Correction",
    "Camera",
    "Warnings",
    "Raw EXIF original date",
    "Raw EXIF digitised date",
    "Raw TIFF date",
    "GPS in JPEG copies",
    "Date metadata in JPEG copies",
    // Added last so that readers of the earlier columns keep working.
    "Lossless",
};

// "Exported", "Failed: " + reason, "Skipped: no usable date", "Not processed".
std::string statusText(const exporting::FileOutcome& outcome);

// Where a copy lies, as the package's reports name it: relative to the
// package ("Photos/IMG_1.jpg"), or just its file name when it lies elsewhere.
std::string exportedName(const std::filesystem::path& copy, const std::filesystem::path& package);

// The eighteen values of one result, unquoted.
std::vector<std::string> row(const exporting::FileResult& result, const std::filesystem::path& package,
                             const settings::StampConfiguration& configuration);

// One field as written: an apostrophe before anything a spreadsheet would
// take for a formula, double quotes doubled, the whole enclosed in quotes.
std::string quotedField(std::string_view field);

// The whole file's text, byte-order mark first, every line ended by CR LF.
std::string text(const exporting::BatchSummary& summary, const std::filesystem::path& package,
                 const settings::StampConfiguration& configuration);

}  // namespace veltrop::handover::PhotoIndex
