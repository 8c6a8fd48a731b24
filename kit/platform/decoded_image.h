#pragma once
// What the image codecs hand back.

#include <cstdint>
#include <functional>

#include "kit/image/bitmap.h"
#include "kit/platform/metadata_blocks.h"

namespace veltrop::platform {

enum class DecodeFailure {
    unreadable,   // the file could not be opened or read
    unsupported,  // the content is not an image the codec can decode completely
};

// Stored size and metadata, read without decoding pixels.
struct ImageHeader {
    int width = 0;
    int height = 0;
    MetadataBlocks metadata;
    bool operator==(const ImageHeader&) const = default;
};

struct DecodedImage {
    image::Bitmap bitmap;  // possibly at a reduced scale
    ImageHeader header;     // the full stored size and the metadata
    // The EXIF orientation the decoder applied to the pixels; 1 when they
    // come as stored.
    image::Orientation turned = 1;
};

// What a decode holds at its peak, known from the header before any pixel
// memory is taken.
struct DecodeCost {
    int width = 0;  // of the decoded picture, possibly at a reduced scale
    int height = 0;
    std::uint64_t workingBytes = 0;  // the codec's own memory besides the picture

    std::uint64_t pictureBytes() const {
        return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4;
    }
    bool operator==(const DecodeCost&) const = default;
};

struct DecodeRequest {
    // Codecs that can decode at a reduced scale pick the smallest scale whose
    // longer side still reaches this; 0 decodes the full size.
    int minimumLongSide = 0;
    // Images with more stored pixels than this are refused before any pixel
    // memory is allocated.
    std::int64_t maximumPixels = 0;
    // Asked once the cost is known and before pixel memory is taken (it may
    // wait there for memory to become free); false refuses the picture.
    std::function<bool(const DecodeCost&)> admit{};
    // Asked once the metadata is read: the EXIF orientation to apply while
    // decoding, so that no second full-size bitmap is needed for the turn.
    // Codecs that cannot turn ignore it (DecodedImage::turned says).
    std::function<image::Orientation(const ImageHeader&)> orientation{};
    // Called on the decoding thread with the image being made (its header
    // complete, its bitmap already turned) each time more of the bitmap's
    // rows from the top are final, and once with all of them; rows below
    // `rows` may be unwritten. Only the JPEG codec reports rows; the others
    // never call it.
    std::function<void(const DecodedImage& sofar, int rows)> rowsDone{};
};

}  // namespace veltrop::platform
