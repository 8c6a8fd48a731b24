// Format sniffing, header reading and, for small images, decoding of any
// bytes given as a photo file. Header and decoder must agree on what they
// both accept.

#include <fstream>

#include "harness.h"
#include "kit/export/image_loader.h"

namespace veltrop::fuzz {

namespace {

using exporting::ImageLoader;

// Decoding costs time in proportion to pixels; larger claims are covered by
// the header read, which must refuse or accept them without decoding.
constexpr double decodeLimit = 1 << 20;

void writeInput(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    FUZZ_CHECK(out.good());
}

bool isWellFormed(const image::Bitmap& image) {
    return image.width > 0 && image.height > 0 && image.pixels &&
           image.stride >= static_cast<std::size_t>(image.width) * 4;
}

}  // namespace

int fuzzImageHeader(const std::uint8_t* data, std::size_t size) {
    static const bool prepared = (ImageLoader::prepare(), true);
    (void)prepared;
    const std::filesystem::path file = scratchFolder() / "input";
    writeInput(file, data, size);

    const auto info = ImageLoader::readInfo(file);
    if (!info) {
        FUZZ_CHECK(!info.error().description().empty());
        return 0;
    }
    FUZZ_CHECK(info->pixelSize.width >= 1 && info->pixelSize.height >= 1);
    FUZZ_CHECK(info->orientation >= 1 && info->orientation <= 8);
    if (info->pixelSize.width * info->pixelSize.height > decodeLimit) return 0;

    if (const auto loaded = ImageLoader::load(file)) {
        FUZZ_CHECK(isWellFormed(loaded->image));
        FUZZ_CHECK(loaded->pixelSize() == info->pixelSize);
        FUZZ_CHECK(loaded->orientation == info->orientation);
        FUZZ_CHECK(loaded->properties == info->properties);
    }
    if (const auto thumbnail = ImageLoader::loadThumbnail(file, 16, exporting::ThumbnailOrientation::upright)) {
        FUZZ_CHECK(isWellFormed(thumbnail->image));
        FUZZ_CHECK(thumbnail->image.width <= 16 && thumbnail->image.height <= 16);
        FUZZ_CHECK(thumbnail->orientation == 1);
    }
    return 0;
}

}  // namespace veltrop::fuzz
