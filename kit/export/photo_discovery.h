#pragma once
// From what the user dropped to the ordered photos of a batch: find the
// files, then read each one's metadata once.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kit/export/image_loader.h"
#include "kit/records/discovered_photo.h"

namespace veltrop::exporting {

// The name of the marker file inside every handover package.
inline constexpr std::string_view handoverMarkerName = ".veltrop-package";

namespace PhotoDiscovery {

// Photo files below the dropped items, in file-browser order. Skips hidden
// items, "Timestamped" folders, the excluded folders and handover packages;
// never follows symbolic links to files; unreadable folders are left out.
std::vector<std::filesystem::path> discoverFiles(const std::vector<std::filesystem::path>& dropped,
                                                 bool includeSubfolders,
                                                 const std::vector<std::filesystem::path>& excluded);

// A dropped item that is not a folder and yields no photo, and why: it is
// missing, not a regular file (a FIFO, a device, a link), hidden, or not of
// an accepted type. discoverFiles leaves such items out silently; a front
// end that names its inputs explicitly reports them instead.
struct RefusedInput {
    std::filesystem::path location;
    std::string reason;
    bool operator==(const RefusedInput&) const = default;
};
std::vector<RefusedInput> refusedInputs(const std::vector<std::filesystem::path>& dropped);

// How a file's metadata is read; tests may count or fake the reads.
using InfoReader = std::function<std::optional<ImageInfo>(const std::filesystem::path&)>;
std::optional<ImageInfo> readInfo(const std::filesystem::path& file);

// One photo per file, in the same order. Unreadable files are kept with empty fields.
std::vector<records::DiscoveredPhoto> makePhotos(const std::vector<std::filesystem::path>& files,
                                        const std::vector<std::filesystem::path>& dropped,
                                        const InfoReader& reader = readInfo);

std::vector<records::DiscoveredPhoto> undatedPhotos(const std::vector<records::DiscoveredPhoto>& photos);
std::vector<records::DiscoveredPhoto> datedPhotos(const std::vector<records::DiscoveredPhoto>& photos);

// Root and relative sub-path of a standardised file among the standardised dropped items.
std::pair<std::filesystem::path, std::string> rootAndSubpath(const std::filesystem::path& file,
                                                             const std::vector<std::filesystem::path>& dropped);

}  // namespace PhotoDiscovery

}  // namespace veltrop::exporting
