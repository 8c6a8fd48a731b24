#pragma once
// Photos made inside the tests: JPEGs with hand-built metadata segments,
// and a reference metadata reader.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "kit/dates/properties.h"
#include "kit/export/batch_processor.h"
#include "kit/image/bitmap.h"
#include "support/test_support.h"

namespace veltrop::testing {

using Bytes = std::vector<std::uint8_t>;

// A bitmap whose pixels say where they are: blue = x, green = y (both
// scaled to 0…255), red = 200 in the top-left quadrant; opaque.
image::Bitmap patternBitmap(int width, int height);

// A JPEG of the bitmap without metadata.
Bytes encodeJpeg(const image::Bitmap& bitmap, int quality = 90);

// The JPEG with APP segments inserted right after its SOI marker, in order.
struct Segment {
    int marker;  // 0xE1 for APP1 …
    Bytes payload;
};
Bytes withSegments(const Bytes& jpeg, const std::vector<Segment>& segments);
Segment exifSegment(const Bytes& tiff);
Segment xmpSegment(const std::string& packet);
Segment iccSegment(const Bytes& profile);
Segment iptcSegment(const Bytes& records);  // in a Photoshop resource
// A Photoshop image resource: signature, id, empty name, size, data.
Bytes photoshopResource(std::uint16_t id, const Bytes& data);

// Little-endian TIFF/EXIF blocks with chosen types, including wrong ones.
struct TiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    Bytes value;  // little-endian, count × size of type
};
TiffEntry ascii(std::uint16_t tag, const std::string& text);  // NUL added
TiffEntry shorts(std::uint16_t tag, const std::vector<std::uint16_t>& values);
TiffEntry longs(std::uint16_t tag, const std::vector<std::uint32_t>& values);
TiffEntry rationals(std::uint16_t tag, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& values);

struct TiffBlock {
    bool bigEndian = false;
    std::vector<TiffEntry> ifd0;
    std::vector<TiffEntry> exif;
    std::vector<TiffEntry> gps;
    Bytes thumbnail;  // stored through IFD1 when not empty
    Bytes build() const;
};

// IPTC-IIM dataset 2:tag with the given text.
Bytes iptcRecord(std::uint8_t tag, const std::string& text);

// An ICC profile header of the given data colour space ("RGB ", "GRAY",
// "CMYK"), padded to size with a pattern.
Bytes iccProfile(std::string_view colourSpace, std::size_t size = 400);

// The application and comment segments of a JPEG file, in order.
std::vector<Segment> segmentsOf(const Bytes& jpeg);
bool contains(const Bytes& haystack, const Bytes& needle);

// A JPEG as djpeg decodes it: 8-bit RGB, grey spread to three channels.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    const std::uint8_t* at(int x, int y) const { return pixels.data() + 3 * (static_cast<std::size_t>(y) * width + x); }
};
// djpeg's options, e.g. "-nosmooth"; decodePnm reads what a shell pipeline
// ending in djpeg prints.
std::optional<RgbImage> decodeWithDjpeg(const std::filesystem::path& file, const std::string& options = "");
std::optional<RgbImage> decodePnm(const std::string& command);

// The plan for stamping one photo on its own, as the batch would make it;
// an undated photo gets a fixed date so that every copy carries a stamp.
exporting::StampPlan stampPlan(const std::filesystem::path& source, const std::filesystem::path& destination,
                               const settings::StampConfiguration& configuration);

void writeBytes(const std::filesystem::path& file, const Bytes& bytes);
Bytes readBytes(const std::filesystem::path& file);

// The reference tool's reading (-G1 -n) of a file, or nullopt when the tool
// is not installed.
std::optional<nlohmann::json> referenceMetadata(const std::filesystem::path& file);

// Entries of a folder whose names start with the prefix.
std::vector<std::filesystem::path> entriesStartingWith(const std::filesystem::path& folder, const std::string& prefix);

}  // namespace veltrop::testing
