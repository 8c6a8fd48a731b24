#pragma once
// A handover package: a new folder holding the stamped copies in "Photos",
// the photo index and the contact sheet. The folder is made before the batch
// runs; the reports are written from the batch's summary afterwards.

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "kit/export/batch_processor.h"
#include "kit/handover/handover_error.h"
#include "kit/handover/package_checksums.h"
#include "kit/handover/package_result.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::handover {

inline constexpr std::string_view packageNamePrefix = "Veltrop - ";
inline constexpr std::string_view untitledPackageTitle = "Photo records";
inline constexpr std::string_view markerText = "Veltrop handover package\n";
inline constexpr std::string_view photosFolderName = "Photos";
inline constexpr std::string_view indexFileName = "Photo index.csv";
inline constexpr std::string_view contactSheetFileName = "Contact sheet.pdf";

namespace HandoverPackage {

// A title that can stand in a folder name: no separators or line breaks,
// at most 80 characters and 180 bytes, "Photo records" when empty.
std::string cleanedTitle(std::string_view title);

// Makes "Veltrop - " + title (or the first free "… N", N = 2…10000) inside an
// existing parent, with the marker file in it. Never uses an existing folder.
[[nodiscard]] std::expected<std::filesystem::path, PackageFolderError> createPackageFolder(
    const std::filesystem::path& parent, std::string_view projectTitle);

// The package's "Photos" folder: the output folder for its batch.
std::filesystem::path photosFolder(const std::filesystem::path& package);

// Writes data through a private ".report-" + UUID folder beside the location
// and moves it into place; an existing file there is never replaced.
[[nodiscard]] std::expected<void, HandoverError> safeSave(std::string_view data,
                                                          const std::filesystem::path& location);

// Writes the photo index, the contact sheet and the checksum lists, taking
// the digests gathered during the batch where there are any. Never fails as
// a whole: what could not be written is left out of the result and explained
// in its error. Thumbnails kept by the batch spare the contact sheet reading
// the copies.
HandoverPackageResult buildReports(const exporting::BatchSummary& summary, const std::filesystem::path& package,
                                   const settings::StampConfiguration& configuration,
                                   const PackageDigests* digests = nullptr,
                                   const exporting::KeptThumbnails* thumbnails = nullptr);

}  // namespace HandoverPackage

}  // namespace veltrop::handover
