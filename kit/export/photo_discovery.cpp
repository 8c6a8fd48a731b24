#include "kit/export/photo_discovery.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "kit/records/path_key.h"
#include "kit/platform/collation.h"
#include "kit/platform/file_times.h"
#include "kit/platform/folder_handle.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::exporting::PhotoDiscovery {

namespace fs = std::filesystem;
using records::DiscoveredPhoto;

namespace {

bool isOutputFolderName(const std::string& name) {
    constexpr std::string_view output = settings::defaultOutputFolderName;
    if (name.size() != output.size()) return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(output[i])))
            return false;
    return true;
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

bool hasAcceptedName(const std::string& name) {
    return !name.starts_with('.') && ImageLoader::hasAcceptedExtension(fs::path(name));
}

// A folder waiting to be walked: opened from its parent's handle when its
// turn comes (so that a wide folder does not hold a descriptor per
// sub-folder), with its path as given and its real path. A sub-folder's real
// path is its parent's plus its name, since links are never followed below
// a dropped folder: nothing is resolved again, however deep the tree.
// Paths are kept as text: a path object splits itself into components, which
// would cost as much as the folder is deep for every folder.
struct PendingFolder {
    std::optional<platform::FolderHandle> parent;  // none for the dropped folder
    std::string name;
    std::string path;
    std::string realPath;
};

struct Finder {
    std::unordered_set<std::string> excludedKeys;
    std::unordered_set<std::string> seenKeys;
    std::vector<fs::path> found;

    // A dropped file.
    void testFile(const fs::path& candidate) {
        const fs::path file = records::standardized(candidate);
        if (!hasAcceptedName(file.filename().string())) return;
        std::error_code error;
        const auto status = fs::symlink_status(file, error);
        if (error || !fs::is_regular_file(status)) return;
        if (seenKeys.insert(records::pathKey(file)).second) found.push_back(file);
    }

    // An item met in a walked folder.
    void testEntry(const platform::FolderHandle& folder, const PendingFolder& place,
                   const platform::FolderHandle::Entry& entry) {
        if (entry.type != platform::FolderHandle::EntryType::regularFile || !hasAcceptedName(entry.name)) return;
        const std::string key = records::pathKeyOfResolved(joined(place.realPath, entry.name), folder.isCaseSensitive());
        if (seenKeys.insert(key).second) found.emplace_back(joined(place.path, entry.name));
    }

    bool skipsFolder(const platform::FolderHandle& folder, const PendingFolder& place) const {
        if (!excludedKeys.empty() && excludedKeys.contains(records::pathKeyOfResolved(place.realPath, folder.isCaseSensitive())))
            return true;
        return folder.contains(handoverMarkerName);
    }

    void walk(const fs::path& folder, bool includeSubfolders) {
        std::vector<PendingFolder> pending;
        pending.push_back({std::nullopt, {}, folder.native(), records::detail::resolve(folder).path.native()});
        bool isDropped = true;
        while (!pending.empty()) {
            const PendingFolder place = std::move(pending.back());
            pending.pop_back();
            const auto handle =
                place.parent ? place.parent->openChild(place.name, place.path) : platform::FolderHandle::open(place.path);
            if (!handle) continue;
            // A dropped folder is always walked, whatever it holds.
            if (!isDropped && skipsFolder(*handle, place)) continue;
            isDropped = false;

            std::vector<PendingFolder> subfolders;
            for (const auto& entry : handle->entries()) {
                if (entry.name.starts_with('.')) continue;
                if (entry.type == platform::FolderHandle::EntryType::folder) {
                    if (includeSubfolders && !isOutputFolderName(entry.name))
                        subfolders.push_back(
                            {*handle, entry.name, joined(place.path, entry.name), joined(place.realPath, entry.name)});
                } else {
                    testEntry(*handle, place, entry);
                }
            }
            // Depth first, in name order, like a directory enumerator.
            std::sort(subfolders.begin(), subfolders.end(),
                      [](const PendingFolder& a, const PendingFolder& b) { return a.name < b.name; });
            for (auto sub = subfolders.rbegin(); sub != subfolders.rend(); ++sub) pending.push_back(std::move(*sub));
        }
    }
};

}  // namespace

std::vector<fs::path> discoverFiles(const std::vector<fs::path>& dropped, bool includeSubfolders,
                                    const std::vector<fs::path>& excluded) {
    Finder finder;
    for (const auto& location : excluded) finder.excludedKeys.insert(records::pathKey(location));
    for (const auto& location : dropped) {
        std::error_code error;
        const auto status = fs::status(location, error);
        if (error || !fs::exists(status)) continue;
        if (fs::is_directory(status)) {
            // A dropped folder is always walked, whatever its name: only sub-folders are tested.
            finder.walk(records::standardized(location), includeSubfolders);
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

std::vector<RefusedInput> refusedInputs(const std::vector<fs::path>& dropped) {
    std::vector<RefusedInput> refused;
    for (const auto& location : dropped) {
        const fs::path item = records::standardized(location);
        const std::string name = item.filename().string();
        std::error_code error;
        const auto status = fs::status(item, error);  // does not open: never blocks
        const auto linkStatus = fs::symlink_status(item, error);
        const auto problem = [&](ImageLoadError::Kind kind) {
            refused.push_back({item, ImageLoadError{kind, item}.description()});
        };
        if (!fs::exists(linkStatus)) {
            problem(ImageLoadError::Kind::unreadable);
        } else if (fs::is_directory(status)) {
            continue;
        } else if (!fs::is_regular_file(linkStatus)) {
            problem(ImageLoadError::Kind::notRegularFile);
        } else if (name.starts_with('.')) {
            refused.push_back({item, name + " is hidden and was left out"});
        } else if (!ImageLoader::hasAcceptedExtension(item)) {
            problem(ImageLoadError::Kind::unsupportedFormat);
        }
    }
    return refused;
}

std::optional<ImageInfo> readInfo(const fs::path& file) {
    auto info = ImageLoader::readInfo(file);
    if (!info) return std::nullopt;
    return std::move(*info);
}

namespace {

// The dropped items by their text, so that finding a file's root walks up its
// folders instead of testing every root: a batch of thousands of photos
// dropped one by one has thousands of roots.
class RootIndex {
public:
    explicit RootIndex(const std::vector<fs::path>& roots) : roots_(roots) {
        for (std::size_t i = 0; i < roots_.size(); ++i) byText_.try_emplace(roots_[i].string(), i);
    }

    // The file itself when it was dropped, else the deepest dropped folder above it.
    std::pair<fs::path, std::string> find(const fs::path& file) const {
        if (auto exact = byText_.find(file.string()); exact != byText_.end()) return {roots_[exact->second], ""};
        const fs::path folder = file.parent_path();
        const std::string folderText = folder.string();
        for (fs::path ancestor = folder;; ancestor = ancestor.parent_path()) {
            if (auto found = byText_.find(ancestor.string()); found != byText_.end()) {
                const std::string& rootText = found->first;
                if (folderText == rootText) return {roots_[found->second], ""};
                const std::size_t skip = rootText.ends_with('/') ? rootText.size() : rootText.size() + 1;
                return {roots_[found->second], folderText.substr(skip)};
            }
            if (ancestor == ancestor.parent_path()) break;
        }
        return {folder, ""};
    }

private:
    const std::vector<fs::path>& roots_;
    std::unordered_map<std::string, std::size_t> byText_;
};

}  // namespace

std::pair<fs::path, std::string> rootAndSubpath(const fs::path& file, const std::vector<fs::path>& dropped) {
    return RootIndex(dropped).find(file);
}

std::vector<DiscoveredPhoto> makePhotos(const std::vector<fs::path>& files, const std::vector<fs::path>& dropped,
                                        const InfoReader& reader) {
    std::vector<fs::path> roots;
    roots.reserve(dropped.size());
    for (const auto& location : dropped) roots.push_back(records::standardized(location));

    const RootIndex rootIndex(roots);

    std::vector<DiscoveredPhoto> photos;
    photos.reserve(files.size());
    for (const auto& file : files) {
        DiscoveredPhoto photo;
        photo.url = records::standardized(file);
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

        std::tie(photo.root, photo.relativeSubpath) = rootIndex.find(photo.url);
        photo.captureDate = dates::CaptureDateReader::readRecordedDate(properties);
        photo.exif = dates::ExifFields::fromProperties(properties);
        photo.dateAudit = records::PhotoDateAudit::fromProperties(properties);
        photo.clock = dates::ClockReading::fromProperties(properties);
        if (info) photo.clock.fileModified = dates::readModificationDate(platform::fileDates(photo.url));
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
