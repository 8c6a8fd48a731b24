#pragma once
// A photo's metadata as the raw blocks the file stores, carried from a
// source photo to its copy without interpretation.

#include <cstdint>
#include <string>
#include <vector>

namespace veltrop::platform {

// One JPEG marker segment: an APPn (0xE0…0xEF) or a comment (0xFE).
struct MetadataSegment {
    int marker = 0;
    std::vector<std::uint8_t> payload;  // after the length field
    bool operator==(const MetadataSegment&) const = default;
};

// What describes the decoded pixels.
enum class PixelProfile {
    stored,  // they are as stored: icc describes them when its colour space is theirs
    srgb,    // the decoder converted them through icc into sRGB
    none,    // the decoder converted them without a profile: nothing describes them
};

struct MetadataBlocks {
    std::vector<std::uint8_t> exif;  // TIFF-structured EXIF, starting at the byte-order mark
    std::string xmp;                 // XMP packet
    std::vector<std::uint8_t> iptc;  // IPTC-IIM records
    std::vector<std::uint8_t> icc;   // ICC colour profile
    // A JPEG source's application and comment segments in file order, the
    // blocks above included: what its copy carries over.
    std::vector<MetadataSegment> segments;
    PixelProfile pixelProfile = PixelProfile::stored;

    bool empty() const { return exif.empty() && xmp.empty() && iptc.empty() && icc.empty() && segments.empty(); }
    bool operator==(const MetadataBlocks&) const = default;
};

}  // namespace veltrop::platform
