#pragma once
// A photo's metadata as the raw blocks the file stores, carried from a
// source photo to its copy without interpretation.

#include <cstdint>
#include <string>
#include <vector>

namespace veltrop::platform {

struct MetadataBlocks {
    std::vector<std::uint8_t> exif;  // TIFF-structured EXIF, starting at the byte-order mark
    std::string xmp;                 // XMP packet
    std::vector<std::uint8_t> iptc;  // IPTC-IIM records
    std::vector<std::uint8_t> icc;   // ICC colour profile

    bool empty() const { return exif.empty() && xmp.empty() && iptc.empty() && icc.empty(); }
    bool operator==(const MetadataBlocks&) const = default;
};

}  // namespace veltrop::platform
