#include "kit/export/image_loader.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <fstream>
#include <limits>
#include <optional>

#include <unistd.h>

#include "kit/image/orientation.h"
#include "kit/platform/exif_metadata.h"
#include "kit/platform/heif_codec.h"
#include "kit/platform/input_file.h"
#include "kit/platform/jpeg_codec.h"
#include "kit/platform/png_codec.h"
#include "kit/platform/system_memory.h"
#include "kit/render/downscale.h"

namespace veltrop::exporting {

namespace {

namespace keys = dates::keys;
using platform::DecodeFailure;

enum class Format { jpeg, png, heif };

ImageLoadError failure(ImageLoadError::Kind kind, const std::filesystem::path& file) { return {kind, file}; }

ImageLoadError failure(DecodeFailure reason, const std::filesystem::path& file) {
    return {reason == DecodeFailure::unreadable ? ImageLoadError::Kind::unreadable : ImageLoadError::Kind::unsupportedFormat,
            file};
}

// The decoder follows the first bytes of the file. Only a regular file is
// opened: anything else could block or never end.
[[nodiscard]] std::expected<Format, ImageLoadError> sniff(const std::filesystem::path& file) {
    auto opened = platform::InputFile::open(file);
    if (!opened)
        return std::unexpected(failure(opened.error() == platform::InputFile::Failure::notRegularFile
                                           ? ImageLoadError::Kind::notRegularFile
                                           : ImageLoadError::Kind::unreadable,
                                       file));
    std::array<std::uint8_t, 64> head{};
    ssize_t count = -1;
    do {
        count = ::pread(opened->descriptor(), head.data(), head.size(), 0);
    } while (count < 0 && errno == EINTR);
    if (count <= 0) return std::unexpected(failure(ImageLoadError::Kind::unreadable, file));
    const auto length = static_cast<std::size_t>(count);

    constexpr std::array<std::uint8_t, 8> pngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (length >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return Format::jpeg;
    if (length >= pngSignature.size() && std::equal(pngSignature.begin(), pngSignature.end(), head.begin()))
        return Format::png;
    if (platform::isHeifContent(std::span(head.data(), length))) return Format::heif;
    return std::unexpected(failure(ImageLoadError::Kind::unsupportedFormat, file));
}

[[nodiscard]] std::expected<platform::ImageHeader, DecodeFailure> readHeader(Format format, const std::filesystem::path& file) {
    switch (format) {
        case Format::jpeg: return platform::readJpegHeader(file);
        case Format::png: return platform::readPngHeader(file);
        case Format::heif: return platform::readHeifHeader(file);
    }
    return std::unexpected(DecodeFailure::unsupported);
}

[[nodiscard]] std::expected<platform::DecodedImage, DecodeFailure> decode(Format format, const std::filesystem::path& file,
                                                                        const platform::DecodeRequest& request) {
    switch (format) {
        case Format::jpeg: return platform::decodeJpeg(file, request);
        case Format::png: return platform::decodePng(file, request);
        case Format::heif: return platform::decodeHeif(file, request);
    }
    return std::unexpected(DecodeFailure::unsupported);
}

[[nodiscard]] std::expected<platform::DecodedImage, DecodeFailure> decode(Format format, const std::filesystem::path& file,
                                                                        int minimumLongSide,
                                                                        const ImageLoader::Admission& admit = {}) {
    return decode(format, file, platform::DecodeRequest{minimumLongSide, ImageLoader::maximumPixelCount(), admit});
}

dates::PropertyDictionary propertiesOf(Format format, const platform::ImageHeader& header) {
    dates::PropertyDictionary properties = platform::metadataProperties(header.metadata);
    properties.insert_or_assign(std::string(keys::pixelWidth), header.width);
    properties.insert_or_assign(std::string(keys::pixelHeight), header.height);
    if (format == Format::heif) {
        // The container's rotation is applied while decoding; an EXIF
        // orientation inside HEIF only describes the camera and must not
        // turn the picture a second time.
        properties.insert_or_assign(std::string(keys::orientation), 1);
    } else if (const auto* stored = dates::find(dates::group(properties, keys::tiff), "Orientation")) {
        properties.insert_or_assign(std::string(keys::orientation), *stored);
    }
    return properties;
}

image::Orientation orientationOf(const dates::PropertyDictionary& properties) {
    const auto* value = dates::find(properties, keys::orientation);
    if (value == nullptr || value->number() == nullptr) return 1;
    const double number = *value->number();
    if (number < 1 || number > 8 || std::floor(number) != number) return 1;
    return static_cast<image::Orientation>(number);
}

LoadedImage loaded(Format format, platform::DecodedImage decoded,
                   std::optional<dates::PropertyDictionary> properties = std::nullopt) {
    LoadedImage image;
    image.properties = properties ? std::move(*properties) : propertiesOf(format, decoded.header);
    image.orientation = orientationOf(image.properties);
    // What the decoder turned is not turned again.
    if (decoded.turned == image.orientation) image.orientation = 1;
    image.image = std::move(decoded.bitmap);
    image.metadata = std::move(decoded.header.metadata);
    return image;
}

}  // namespace

PixelSize displaySize(PixelSize pixelSize, image::Orientation orientation) {
    if (image::swapsDimensions(orientation)) return {pixelSize.height, pixelSize.width};
    return pixelSize;
}

std::string ImageLoadError::description() const {
    const std::string name = file.filename().string();
    switch (kind) {
        case Kind::unreadable: return "Could not read " + name;
        case Kind::unsupportedFormat: return name + " is not a supported image";
        case Kind::notRegularFile: return "Could not read " + name + " \u2014 it is not a regular file";
    }
    return name;
}

std::int64_t ImageLoader::maximumPixelCount() {
    static const std::int64_t count = [] {
        constexpr std::uint64_t bytesPerPixel = 2 * 4;  // decoded, and the stamped copy
        constexpr std::uint64_t shareOfMemory = 2;      // one photo may take half of it
        // Without an answer from the system, a computer of 4 GB is assumed.
        const std::uint64_t memory = platform::physicalMemory().value_or(std::uint64_t{4} << 30);
        const std::uint64_t pixels = memory / shareOfMemory / bytesPerPixel;
        return static_cast<std::int64_t>(std::min<std::uint64_t>(pixels, std::numeric_limits<std::int64_t>::max()));
    }();
    return count;
}

bool ImageLoader::hasAcceptedExtension(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    if (extension.empty()) return false;
    extension.erase(0, 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return std::find(acceptedExtensions.begin(), acceptedExtensions.end(), extension) != acceptedExtensions.end();
}

void ImageLoader::prepare() { platform::prepareMetadataLibrary(); }

std::expected<LoadedImage, ImageLoadError> ImageLoader::load(const std::filesystem::path& file) {
    return load(file, Admission());
}

std::expected<LoadedImage, ImageLoadError> ImageLoader::load(const std::filesystem::path& file, const Admission& admit) {
    auto format = sniff(file);
    if (!format) return std::unexpected(format.error());
    auto decoded = decode(*format, file, 0, admit);
    if (!decoded) return std::unexpected(failure(decoded.error(), file));
    return loaded(*format, std::move(*decoded));
}

std::expected<LoadedImage, ImageLoadError> ImageLoader::loadUpright(const std::filesystem::path& file,
                                                                    const Admission& admit, const RowsDone& rowsDone) {
    auto format = sniff(file);
    if (!format) return std::unexpected(format.error());
    // The properties read for the orientation are the ones the image keeps.
    std::optional<dates::PropertyDictionary> properties;
    platform::DecodeRequest request{0, maximumPixelCount(), admit};
    request.orientation = [&](const platform::ImageHeader& header) {
        properties = propertiesOf(*format, header);
        return orientationOf(*properties);
    };
    request.rowsDone = rowsDone;
    auto decoded = decode(*format, file, request);
    if (!decoded) return std::unexpected(failure(decoded.error(), file));
    return loaded(*format, std::move(*decoded), std::move(properties));
}

std::expected<ImageInfo, ImageLoadError> ImageLoader::readInfo(const std::filesystem::path& file) {
    auto format = sniff(file);
    if (!format) return std::unexpected(format.error());
    auto header = readHeader(*format, file);
    if (!header) return std::unexpected(failure(header.error(), file));
    ImageInfo info;
    info.properties = propertiesOf(*format, *header);
    info.orientation = orientationOf(info.properties);
    info.pixelSize = {static_cast<double>(header->width), static_cast<double>(header->height)};
    return info;
}

std::expected<LoadedImage, ImageLoadError> ImageLoader::loadThumbnail(const std::filesystem::path& file,
                                                                      int maxPixelSize,
                                                                      ThumbnailOrientation orientation) {
    if (maxPixelSize <= 0) return std::unexpected(failure(ImageLoadError::Kind::unsupportedFormat, file));
    auto format = sniff(file);
    if (!format) return std::unexpected(format.error());
    auto decoded = decode(*format, file, maxPixelSize);
    if (!decoded) return std::unexpected(failure(decoded.error(), file));
    LoadedImage image = loaded(*format, std::move(*decoded));

    const auto fit = render::fittedSize(image.image.width, image.image.height, maxPixelSize);
    if (fit.width != image.image.width || fit.height != image.image.height)
        image.image = render::downscaled(image.image, fit.width, fit.height);
    if (orientation == ThumbnailOrientation::upright) {
        image.image = image::oriented(image.image, image.orientation);
        image.orientation = 1;
    }
    if (image.image.empty()) return std::unexpected(failure(ImageLoadError::Kind::unsupportedFormat, file));
    return image;
}

}  // namespace veltrop::exporting
