#include "kit/storage/watermark_store.h"

#include <algorithm>
#include <cctype>

#include "kit/platform/png_encoder.h"
#include "kit/platform/private_files.h"

namespace veltrop::storage {

namespace fs = std::filesystem;
using settings::WatermarkImageID;

std::string WatermarkStoreError::description() const {
    switch (kind) {
        case Kind::notAnImage: return location.filename().string() + " is not an image";
        case Kind::imageNotFound: return "That watermark image is no longer available";
        case Kind::cannotWrite: return "Could not save the watermark to " + location.string();
    }
    return {};
}

namespace {

bool hasPngExtension(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".png";
}

std::optional<WatermarkImageID> idOfEntry(const fs::path& entry) {
    if (!hasPngExtension(entry)) return std::nullopt;
    auto uuid = settings::Uuid::parse(entry.stem().string());
    if (!uuid) return std::nullopt;
    return WatermarkImageID{*uuid};
}

bool isFile(const fs::path& location) {
    std::error_code error;
    return fs::is_regular_file(location, error);
}

}  // namespace

std::expected<WatermarkStore, FileSystemError> WatermarkStore::standard(const EnvironmentLookup& environment) {
    auto folder = veltropFolder(environment);
    if (!folder) return std::unexpected(folder.error());
    return WatermarkStore(*folder / "Watermarks");
}

fs::path WatermarkStore::copyLocation(const WatermarkImageID& id) const {
    return directory_ / (id.rawValue.text() + ".png");
}

std::expected<WatermarkImageID, WatermarkStoreError> WatermarkStore::importImage(const fs::path& picked) {
    // Decoding comes first, so that a file that is not an image leaves no folder behind.
    const std::optional<image::Bitmap> image = decoder_(picked);
    if (!image || image->empty()) return std::unexpected(WatermarkStoreError::notAnImage(picked));

    const WatermarkImageID id = WatermarkImageID::fresh();
    const fs::path copy = copyLocation(id);
    std::error_code error;
    fs::create_directories(directory_, error);
    if (error) return std::unexpected(WatermarkStoreError::cannotWrite(copy));

    const std::optional<std::string> png = platform::encodePng(*image);
    if (!png || platform::writeNewFile(copy, *png)) return std::unexpected(WatermarkStoreError::cannotWrite(copy));
    return id;
}

std::optional<fs::path> WatermarkStore::imageURL(const WatermarkImageID& id) const {
    const fs::path canonical = copyLocation(id);
    if (isFile(canonical)) return canonical;
    // The listing accepts any letter case of the name; find such a copy too,
    // so that every listed id can be loaded on a case-sensitive file system.
    std::error_code error;
    for (fs::directory_iterator it(directory_, error), end; !error && it != end; it.increment(error)) {
        if (idOfEntry(it->path()) == id && isFile(it->path())) return it->path();
    }
    return std::nullopt;
}

std::expected<image::Bitmap, WatermarkStoreError> WatermarkStore::loadImage(const WatermarkImageID& id) const {
    const std::optional<fs::path> location = imageURL(id);
    if (!location) return std::unexpected(WatermarkStoreError::imageNotFound(id));
    std::optional<image::Bitmap> image = decoder_(*location);
    if (!image || image->empty()) return std::unexpected(WatermarkStoreError::imageNotFound(id));
    return std::move(*image);
}

std::expected<void, FileSystemError> WatermarkStore::deleteImage(const WatermarkImageID& id) {
    const std::optional<fs::path> location = imageURL(id);
    if (!location) return {};
    std::error_code error;
    fs::remove(*location, error);
    if (error) return std::unexpected(FileSystemError{FileSystemError::Operation::remove, *location, error});
    return {};
}

std::vector<WatermarkImageID> WatermarkStore::allImageIDs() const {
    std::vector<WatermarkImageID> ids;
    std::error_code error;
    for (fs::directory_iterator it(directory_, error), end; !error && it != end; it.increment(error)) {
        if (auto id = idOfEntry(it->path())) ids.push_back(*id);
    }
    return ids;
}

WatermarkImageID InMemoryWatermarkStore::insert(image::Bitmap image) {
    const WatermarkImageID id = WatermarkImageID::fresh();
    images_[id] = std::move(image);
    return id;
}

std::expected<WatermarkImageID, WatermarkStoreError> InMemoryWatermarkStore::importImage(const fs::path& picked) {
    std::optional<image::Bitmap> image = decoder_(picked);
    if (!image || image->empty()) return std::unexpected(WatermarkStoreError::notAnImage(picked));
    return insert(std::move(*image));
}

std::optional<fs::path> InMemoryWatermarkStore::imageURL(const WatermarkImageID&) const { return std::nullopt; }

std::expected<image::Bitmap, WatermarkStoreError> InMemoryWatermarkStore::loadImage(const WatermarkImageID& id) const {
    const auto found = images_.find(id);
    if (found == images_.end()) return std::unexpected(WatermarkStoreError::imageNotFound(id));
    return found->second;
}

std::expected<void, FileSystemError> InMemoryWatermarkStore::deleteImage(const WatermarkImageID& id) {
    images_.erase(id);
    return {};
}

std::vector<WatermarkImageID> InMemoryWatermarkStore::allImageIDs() const {
    std::vector<WatermarkImageID> ids;
    for (const auto& [id, image] : images_) ids.push_back(id);
    return ids;
}

}  // namespace veltrop::storage
