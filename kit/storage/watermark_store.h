#pragma once
// Imported logo images, kept as PNG copies named by their id so that a
// configuration never depends on where the picked file was.

#include <expected>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kit/image/bitmap.h"
#include "kit/settings/configuration_members.h"
#include "kit/storage/application_support.h"
#include "kit/storage/file_system_error.h"

namespace veltrop::storage {

struct WatermarkStoreError {
    enum class Kind {
        notAnImage,     // location: the picked file
        imageNotFound,  // id
        cannotWrite,    // location: the copy being written
    };

    Kind kind = Kind::imageNotFound;
    std::filesystem::path location;
    settings::WatermarkImageID id;

    static WatermarkStoreError notAnImage(std::filesystem::path picked) {
        return {Kind::notAnImage, std::move(picked), {}};
    }
    static WatermarkStoreError imageNotFound(settings::WatermarkImageID missing) {
        return {Kind::imageNotFound, {}, missing};
    }
    static WatermarkStoreError cannotWrite(std::filesystem::path copy) { return {Kind::cannotWrite, std::move(copy), {}}; }

    std::string description() const;
    bool operator==(const WatermarkStoreError&) const = default;
};

// Decodes a file into the shared bitmap format; nullopt when it is not an image.
using ImageDecoder = std::function<std::optional<image::Bitmap>(const std::filesystem::path& file)>;

// The image loader's decoding: JPEG, HEIF or PNG by content, turned upright.
std::optional<image::Bitmap> decodeWithImageLoader(const std::filesystem::path& file);

class WatermarkStoring {
public:
    virtual ~WatermarkStoring() = default;

    // Decodes the picked file and keeps a copy under a new id; the picked file is not referenced again.
    [[nodiscard]] virtual std::expected<settings::WatermarkImageID, WatermarkStoreError> importImage(
        const std::filesystem::path& picked) = 0;
    // The copy's location, or nullopt when there is no such file.
    virtual std::optional<std::filesystem::path> imageURL(const settings::WatermarkImageID& id) const = 0;
    [[nodiscard]] virtual std::expected<image::Bitmap, WatermarkStoreError> loadImage(
        const settings::WatermarkImageID& id) const = 0;
    // Deleting an image that is already gone succeeds.
    [[nodiscard]] virtual std::expected<void, FileSystemError> deleteImage(const settings::WatermarkImageID& id) = 0;
    virtual std::vector<settings::WatermarkImageID> allImageIDs() const = 0;
};

class WatermarkStore final : public WatermarkStoring {
public:
    explicit WatermarkStore(std::filesystem::path directory, ImageDecoder decoder = decodeWithImageLoader)
        : directory_(std::move(directory)), decoder_(std::move(decoder)) {}

    // "Watermarks" in the Veltrop folder of the per-user data folder.
    [[nodiscard]] static std::expected<WatermarkStore, FileSystemError> standard(
        const EnvironmentLookup& environment = processEnvironment);

    const std::filesystem::path& directory() const { return directory_; }
    // Where the copy of id is written: the id's upper-case UUID + ".png".
    std::filesystem::path copyLocation(const settings::WatermarkImageID& id) const;

    [[nodiscard]] std::expected<settings::WatermarkImageID, WatermarkStoreError> importImage(
        const std::filesystem::path& picked) override;
    std::optional<std::filesystem::path> imageURL(const settings::WatermarkImageID& id) const override;
    [[nodiscard]] std::expected<image::Bitmap, WatermarkStoreError> loadImage(
        const settings::WatermarkImageID& id) const override;
    [[nodiscard]] std::expected<void, FileSystemError> deleteImage(const settings::WatermarkImageID& id) override;
    std::vector<settings::WatermarkImageID> allImageIDs() const override;

private:
    std::filesystem::path directory_;
    ImageDecoder decoder_;
};

// Keeps decoded images in memory; it has no files, so imageURL is always nullopt.
class InMemoryWatermarkStore final : public WatermarkStoring {
public:
    explicit InMemoryWatermarkStore(ImageDecoder decoder = decodeWithImageLoader) : decoder_(std::move(decoder)) {}

    // Puts an image in directly, as if it had been imported.
    settings::WatermarkImageID insert(image::Bitmap image);

    [[nodiscard]] std::expected<settings::WatermarkImageID, WatermarkStoreError> importImage(
        const std::filesystem::path& picked) override;
    std::optional<std::filesystem::path> imageURL(const settings::WatermarkImageID& id) const override;
    [[nodiscard]] std::expected<image::Bitmap, WatermarkStoreError> loadImage(
        const settings::WatermarkImageID& id) const override;
    [[nodiscard]] std::expected<void, FileSystemError> deleteImage(const settings::WatermarkImageID& id) override;
    std::vector<settings::WatermarkImageID> allImageIDs() const override;

private:
    ImageDecoder decoder_;
    std::map<settings::WatermarkImageID, image::Bitmap> images_;
};

}  // namespace veltrop::storage
