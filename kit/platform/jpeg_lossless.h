#pragma once
// A JPEG changed only where something is drawn on it: its DCT coefficient
// blocks are kept, turned upright block by block when that loses nothing,
// and only the MCUs under the drawing are decoded, drawn on and encoded
// again with the photo's own quantisation tables and sampling.

#include <cstdint>
#include <cstdio>
#include <expected>
#include <filesystem>
#include <memory>
#include <span>

#include "kit/platform/metadata_blocks.h"
#include "kit/image/bitmap.h"
#include "kit/image/geometry.h"

namespace veltrop::platform {

// Why a photo cannot be kept block for block.
enum class LosslessRefusal {
    notJpeg,            // another kind of file
    unreadable,         // the file could not be read or decoded
    colourSpace,        // not a three-component YCbCr JPEG
    partialBlocks,      // turning it upright would cut blocks at the edges
    partialStripRows,   // its height is not whole MCU rows, so no rows can be added below
};

class LosslessJpeg {
public:
    // Reads the header. `orientation` is the EXIF orientation to apply.
    [[nodiscard]] static std::expected<LosslessJpeg, LosslessRefusal> open(const std::filesystem::path& file,
                                                                          image::Orientation orientation,
                                                                          std::int64_t maximumPixels);
    LosslessJpeg(LosslessJpeg&&) noexcept;
    LosslessJpeg& operator=(LosslessJpeg&&) noexcept;
    LosslessJpeg(const LosslessJpeg&) = delete;
    LosslessJpeg& operator=(const LosslessJpeg&) = delete;
    ~LosslessJpeg();

    int storedWidth() const;
    int storedHeight() const;
    // The upright picture's size and MCU size.
    int width() const;
    int height() const;
    int mcuWidth() const;
    int mcuHeight() const;
    bool progressive() const;

    // Reads every coefficient and turns them upright; `addedRows` rows of
    // new MCUs go below the picture (they need a height of whole MCU rows).
    [[nodiscard]] std::expected<void, LosslessRefusal> readCoefficients(int addedRows);

    // The upright pixels of an MCU-aligned area inside the picture (not the added rows).
    [[nodiscard]] std::expected<image::Bitmap, LosslessRefusal> decode(const image::PixelRect& area) const;

    // Encodes `pixels` into the MCU-aligned area starting at its corner,
    // replacing those blocks. The area may reach into the added rows.
    [[nodiscard]] bool replace(const image::PixelRect& area, const image::Bitmap& pixels);

    // Writes the upright JPEG with the segments after its start. True when
    // everything reached the stream.
    [[nodiscard]] bool write(std::span<const MetadataSegment> segments, std::FILE* out);

private:
    struct Impl;
    explicit LosslessJpeg(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace veltrop::platform
