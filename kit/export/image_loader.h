#pragma once
// Decoding photos with their metadata. The content decides the decoder
// (JPEG, HEIF, PNG), never the file name.

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "kit/dates/properties.h"
#include "kit/image/bitmap.h"
#include "kit/platform/decoded_image.h"
#include "kit/platform/metadata_blocks.h"

namespace veltrop::exporting {

// The metadata blocks of a source photo, carried unread into its copy.
using SourceMetadata = platform::MetadataBlocks;

struct PixelSize {
    double width = 0;
    double height = 0;
    bool operator==(const PixelSize&) const = default;
};

// The size as the photo is viewed: exchanged for orientations 5 to 8.
PixelSize displaySize(PixelSize pixelSize, image::Orientation orientation);

struct LoadedImage {
    // Pixels as stored, not rotated. A HEIF file's own rotation is applied
    // while decoding, so such an image comes with orientation 1.
    image::Bitmap image;
    image::Orientation orientation = 1;  // 1…8
    dates::PropertyDictionary properties;
    SourceMetadata metadata;

    PixelSize pixelSize() const { return {static_cast<double>(image.width), static_cast<double>(image.height)}; }
    PixelSize displaySize() const { return exporting::displaySize(pixelSize(), orientation); }
};

// What a metadata-only read learns, without decoding pixels.
struct ImageInfo {
    dates::PropertyDictionary properties;
    image::Orientation orientation = 1;
    PixelSize pixelSize;  // as stored

    PixelSize displaySize() const { return exporting::displaySize(pixelSize, orientation); }
    bool operator==(const ImageInfo&) const = default;
};

struct ImageLoadError {
    enum class Kind {
        unreadable,
        unsupportedFormat,
        notRegularFile,  // a folder, FIFO, socket or device: never opened
    };
    Kind kind = Kind::unreadable;
    std::filesystem::path file;

    std::string description() const;
    bool operator==(const ImageLoadError&) const = default;
};

enum class ThumbnailOrientation {
    asStored,  // pixels as stored; the orientation is returned beside them
    upright,   // the orientation applied; the result has orientation 1
};

class ImageLoader {
public:
    // File-name extensions of the photos that discovery offers (compared
    // without regard to case). Decoding itself ignores the name.
    static constexpr std::array<std::string_view, 4> acceptedExtensions{"jpg", "jpeg", "heic", "heif"};
    static bool hasAcceptedExtension(const std::filesystem::path& file);

    // Refuses images with more stored pixels than this before allocating
    // memory for them. Stamping holds a photo twice at 4 bytes a pixel (the
    // decoded pixels and the upright or taller copy), and one photo may take
    // half of the computer's physical memory: a pixel for every 16 bytes,
    // about 1,000 megapixels with 16 GB. Worked out once.
    static std::int64_t maximumPixelCount();

    // One-time setup of the metadata library; call it before starting worker
    // threads. Loading does it on first use too.
    static void prepare();

    [[nodiscard]] static std::expected<LoadedImage, ImageLoadError> load(const std::filesystem::path& file);

    // Asked with what decoding will hold once the header is read, before any
    // pixel memory is taken; it may wait for memory. False refuses the photo:
    // the load then fails as unsupportedFormat, and the caller says why.
    using Admission = std::function<bool(const platform::DecodeCost&)>;
    [[nodiscard]] static std::expected<LoadedImage, ImageLoadError> load(const std::filesystem::path& file,
                                                                       const Admission& admit);

    // As load(), with the orientation applied while decoding where the codec
    // can (JPEG), which saves a second full-size bitmap for the turn; the
    // result's orientation says what is left to apply (1 once applied).
    // rowsDone follows the picture's rows as they are decoded (see
    // platform::DecodeRequest); codecs that cannot report rows never call it.
    using RowsDone = std::function<void(const platform::DecodedImage& sofar, int rows)>;
    [[nodiscard]] static std::expected<LoadedImage, ImageLoadError> loadUpright(const std::filesystem::path& file,
                                                                              const Admission& admit,
                                                                              const RowsDone& rowsDone = {});

    // Properties, stored size and orientation without decoding pixels.
    [[nodiscard]] static std::expected<ImageInfo, ImageLoadError> readInfo(const std::filesystem::path& file);

    // An image at most maxPixelSize on its longer side (never enlarged),
    // decoded at no more than the resolution that needs.
    [[nodiscard]] static std::expected<LoadedImage, ImageLoadError> loadThumbnail(const std::filesystem::path& file,
                                                                                int maxPixelSize,
                                                                                ThumbnailOrientation orientation);
};

}  // namespace veltrop::exporting
