#include "kit/export/photo_discovery.h"

#include <algorithm>
#include <unordered_set>

#include "kit/export/path_key.h"
#include "kit/platform/collation.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::exporting::PhotoDiscovery {

namespace fs = std::filesystem;
using records::DiscoveredPhoto;

namespace {

bool isHidden(const fs::path& item) { return item.filename().string().starts_with('.'); }

bool isOutputFolderName(const std::string& name) {
    constexpr std::string_view output = settings::defaultOutputFolderName;
    if (name.size() != output.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(output[i])))
            return false;
    return true;
}

bool containsMarker(const fs::path& folder) {
    std::error_code error;
    return fs::exists(fs::symlink_status(folder / std::string(handoverMarkerName), error));
}

struct Finder {
    std::unordered_set<std::string> excludedKeys;
    std::unordered_set<std::string> seenKeys;
    std::vector<fs::path> found;

    void testFile(const fs::path& candidate) {
        const fs::path file = standardized(candidate);
        if (!ImageLoader::hasAcceptedExtension(file) || isHidden(file)) return;
        std::error_code error;
        const auto status = fs::symlink_status(file, error);
        if (error || !fs::is_regular_file(status)) return;
        if (seenKeys.insert(pathKey(file)).second) found.push_back(file);
    }

    bool skipsFolder(const fs::path& folder) const {
        if (isOutputFolderName(folder.filename().string())) return true;
        if (!excludedKeys.empty() && excludedKeys.contains(pathKey(folder))) return true;
        return containsMarker(folder);
    }

    void walk(const fs::path& folder, bool includeSubfolders) {
        std::vector<fs::path> pending{folder};
        while (!pending.empty()) {
            const fs::path current = std::move(pending.back());
            pending.pop_back();
            std::error_code error;
            fs::directory_iterator it(current, fs::directory_options::skip_permission_denied, error);
            if (error) continue;
            std::vector<fs::path> subfolders;
            for (; it != fs::directory_iterator(); it.increment(error)) {
                if (error) break;
                const fs::path item = it->path();
                if (isHidden(item)) continue;
                std::error_code statusError;
                const auto status = it->symlink_status(statusError);
                if (!statusError && fs::is_directory(status)) {
                    if (includeSubfolders && !skipsFolder(item)) subfolders.push_back(item);
                } else {
                    testFile(item);
                }
            }
            // Depth first, in listing order, like a directory enumerator.
            std::sort(subfolders.begin(), subfolders.end());
            for (auto sub = subfolders.rbegin(); sub != subfolders.rend(); ++sub) pending.push_back(*sub);
        }
    }
};

}  // namespace

std::vector<fs::path> discoverFiles(const std::vector<fs::path>& dropped, bool includeSubfolders,
                                    const std::vector<fs::path>& excluded) {
    Finder finder;
    for (const auto& location : excluded) finder.excludedKeys.insert(pathKey(location));
    for (const auto& location : dropped) {
        std::error_code error;
        const auto status = fs::status(location, error);
        if (error || !fs::exists(status)) continue;
        if (fs::is_directory(status)) {
            // A dropped folder is always walked, whatever its name: only sub-folders are tested.
            finder.walk(standardized(location), includeSubfolders);
        } else {
            finder.testFile(location);
        }
    }

    std::vector<std::string> texts;
    texts.reserve(finder.found.size());
    for (const auto& file : finder.found) texts.push_back(file.string());
    platform::sortNaturally(texts);
    return {texts.begin(), texts.end()};
}

std::optional<ImageInfo> readInfo(const fs::path& file) {
    auto info = ImageLoader::readInfo(file);
    if (!info) return std::nullopt;
    return std::move(*info);
}

std::pair<fs::path, std::string> rootAndSubpath(const fs::path& file, const std::vector<fs::path>& dropped) {
    const fs::path folder = file.parent_path();
    const std::string folderText = folder.string();
    std::optional<std::pair<fs::path, std::string>> answer;
    for (const auto& root : dropped) {
        if (root == file) return {root, ""};
        const std::string rootText = root.string();
        const std::string withSlash = rootText.ends_with('/') ? rootText : rootText + "/";
        if (folderText != rootText && !folderText.starts_with(withSlash)) continue;
        if (answer && rootText.size() <= answer->first.string().size()) continue;
        answer = {root, folderText == rootText ? std::string() : folderText.substr(withSlash.size())};
    }
    if (answer) return *answer;
    return {folder, ""};
}

std::vector<DiscoveredPhoto> makePhotos(const std::vector<fs::path>& files, const std::vector<fs::path>& dropped,
                                        const InfoReader& reader) {
    std::vector<fs::path> roots;
    roots.reserve(dropped.size());
    for (const auto& location : dropped) roots.push_back(standardized(location));

    std::vector<DiscoveredPhoto> photos;
    photos.reserve(files.size());
    for (const auto& file : files) {
        DiscoveredPhoto photo;
        photo.url = standardized(file);
        const std::optional<ImageInfo> info = reader ? reader(photo.url) : std::nullopt;
        const dates::PropertyDictionary properties = info ? info->properties : dates::PropertyDictionary{};

        auto number = [&](std::string_view key) {
            const dates::PropertyValue* value = dates::find(properties, key);
            return value && value->number() ? *value->number() : 0.0;
        };
        photo.pixelSize = {number(dates::keys::pixelWidth), number(dates::keys::pixelHeight)};
        const double orientation = number(dates::keys::orientation);
        const bool turned = orientation >= 5 && orientation <= 8;
        photo.displaySize = turned ? image::Size{photo.pixelSize.height, photo.pixelSize.width} : photo.pixelSize;

        std::tie(photo.root, photo.relativeSubpath) = rootAndSubpath(photo.url, roots);
        photo.captureDate = dates::CaptureDateReader::readRecordedDate(properties);
        photo.exif = dates::ExifFields::fromProperties(properties);
        photo.dateAudit = records::PhotoDateAudit::fromProperties(properties);
        photos.push_back(std::move(photo));
    }
    return photos;
}

std::vector<DiscoveredPhoto> undatedPhotos(const std::vector<DiscoveredPhoto>& photos) {
    std::vector<DiscoveredPhoto> result;
    std::copy_if(photos.begin(), photos.end(), std::back_inserter(result), [](const auto& p) { return !p.captureDate; });
    return result;
}

std::vector<DiscoveredPhoto> datedPhotos(const std::vector<DiscoveredPhoto>& photos) {
    std::vector<DiscoveredPhoto> result;
    std::copy_if(photos.begin(), photos.end(), std::back_inserter(result), [](const auto& p) { return p.captureDate; });
    return result;
}

}  // namespace veltrop::exporting::PhotoDiscovery
