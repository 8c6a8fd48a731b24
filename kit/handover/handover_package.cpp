#include "kit/handover/handover_package.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "kit/dates/exif_fields.h"
#include "kit/export/photo_discovery.h"
#include "kit/handover/contact_sheet.h"
#include "kit/handover/photo_index.h"
#include "kit/platform/private_folder.h"
#include "kit/platform/utf8_text.h"
#include "kit/settings/uuid.h"

namespace veltrop::handover::HandoverPackage {

namespace {

constexpr std::size_t maximumTitleCharacters = 80;
constexpr std::size_t maximumTitleBytes = 180;
constexpr int highestFolderNumber = 10000;

// Creates a new file and writes all of it; refuses to open an existing one.
std::error_code writeNewFile(const std::filesystem::path& file, std::string_view data) {
    std::FILE* out = std::fopen(file.c_str(), "wbx");
    if (out == nullptr) return {errno, std::generic_category()};
    const bool written = std::fwrite(data.data(), 1, data.size(), out) == data.size() && std::fflush(out) == 0;
    const int writeError = errno;
    const bool closed = std::fclose(out) == 0;
    if (written && closed) return {};
    return {written ? errno : writeError, std::generic_category()};
}

}  // namespace

std::string cleanedTitle(std::string_view title) {
    std::string joined;
    for (char c : title) joined += (c == '/' || c == ':' || c == '\0' || c == '\n' || c == '\r') ? '-' : c;
    std::string cleaned = dates::trimmed(joined);
    if (cleaned.empty()) return std::string(untitledPackageTitle);

    std::vector<std::size_t> ends = platform::graphemeEnds(cleaned);
    if (ends.size() > maximumTitleCharacters) ends.resize(maximumTitleCharacters);
    while (!ends.empty() && ends.back() > maximumTitleBytes) ends.pop_back();
    return cleaned.substr(0, ends.empty() ? 0 : ends.back());
}

std::expected<std::filesystem::path, PackageFolderError> createPackageFolder(const std::filesystem::path& parent,
                                                                           std::string_view projectTitle) {
    const std::string name = std::string(packageNamePrefix) + cleanedTitle(projectTitle);
    for (int number = 1; number <= highestFolderNumber; ++number) {
        const std::filesystem::path folder = parent / (number == 1 ? name : name + " " + std::to_string(number));
        if (::mkdir(folder.c_str(), 0755) != 0) {
            if (errno == EEXIST) continue;
            return std::unexpected(PackageFolderError{});
        }
        const std::filesystem::path marker = folder / exporting::handoverMarkerName;
        if (const std::error_code error = writeNewFile(marker, markerText)) {
            std::error_code ignored;
            std::filesystem::remove(marker, ignored);
            std::filesystem::remove(folder, ignored);
            return std::unexpected(
                PackageFolderError{HandoverError::cannotWrite(std::string(exporting::handoverMarkerName)), error});
        }
        return folder;
    }
    return std::unexpected(PackageFolderError{});
}

std::filesystem::path photosFolder(const std::filesystem::path& package) { return package / photosFolderName; }

std::expected<void, HandoverError> safeSave(std::string_view data, const std::filesystem::path& location) {
    const std::string folderName = ".report-" + settings::Uuid::random().text();
    if (platform::publishNewFile(location, data, folderName, "report"))
        return std::unexpected(HandoverError::cannotWrite(location.filename().string()));
    return {};
}

HandoverPackageResult buildReports(const exporting::BatchSummary& summary, const std::filesystem::path& package,
                                   const settings::StampConfiguration& configuration, const PackageDigests* digests,
                                   const exporting::KeptThumbnails* thumbnails) {
    HandoverPackageResult result{package, std::nullopt, std::nullopt, std::nullopt};
    std::vector<std::string> errors;

    const std::filesystem::path index = package / indexFileName;
    if (auto saved = safeSave(PhotoIndex::text(summary, package, configuration), index))
        result.index = index;
    else
        errors.push_back(saved.error().description());

    const std::filesystem::path sheet = package / contactSheetFileName;
    auto document = ContactSheet::make(summary, configuration, thumbnails);
    if (!document) {
        errors.push_back(document.error().description());
    } else if (auto saved = safeSave(*document, sheet)) {
        result.contactSheet = sheet;
    } else {
        errors.push_back(saved.error().description());
    }

    // Last, so that the lists cover the reports.
    for (const ChecksumError& error : writeChecksums(summary, package, digests)) errors.push_back(error.description());

    if (!errors.empty()) {
        std::string text;
        for (const auto& line : errors) text += (text.empty() ? "" : "\n") + line;
        result.error = text;
    }
    return result;
}

}  // namespace veltrop::handover::HandoverPackage
