#pragma once
// Editing an XMP packet as text: the named properties change or go, and
// every other byte of the packet stays as it was.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kit/platform/exif_patch.h"

namespace veltrop::platform {

namespace xmpns {
inline constexpr std::string_view tiff = "http://ns.adobe.com/tiff/1.0/";
inline constexpr std::string_view exif = "http://ns.adobe.com/exif/1.0/";
inline constexpr std::string_view xmp = "http://ns.adobe.com/xap/1.0/";
inline constexpr std::string_view note = "http://ns.adobe.com/xmp/note/";
inline constexpr std::string_view photoshop = "http://ns.adobe.com/photoshop/1.0/";
}  // namespace xmpns

struct XmpEdit {
    std::string_view ns;    // namespace URI; empty for every namespace
    std::string_view name;  // local name; a trailing '*' matches every name that starts with the rest
    std::optional<std::string> value;  // the new simple value; none removes the property, wherever it is nested
    bool operator==(const XmpEdit&) const = default;
};

// What a copy changes: orientation 1, the new pixel size where stored, no
// thumbnails, no index of images that were appended to the original, on
// request no GPS properties, and on request a new capture date in the
// properties that mirror DateTimeOriginal and CreateDate where they exist.
std::vector<XmpEdit> xmpEditsForCopy(const CopyChanges& changes);

// The packet (UTF-8, or UTF-16 in either byte order) with the edits made;
// nullopt when it is not XML that can be followed.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> editXmp(std::span<const std::uint8_t> packet,
                                                               std::span<const XmpEdit> edits);

// The first simple value of a property, as written (entities not expanded).
std::optional<std::string> xmpValue(std::span<const std::uint8_t> packet, std::string_view ns, std::string_view name);

// Drops white space of the padding before the closing packet wrapper until
// the packet is at most limit bytes; false when that is not enough.
bool trimXmpPadding(std::vector<std::uint8_t>& packet, std::size_t limit);

struct SplitXmp {
    std::string main;      // marked with xmpNote:HasExtendedXMP
    std::string extended;  // a packet of its own, without wrapper
    std::string guid;      // 32 upper-case hex digits: the MD5 of extended
};

// A UTF-8 packet too large for one segment, split as XMP does for JPEG: the
// largest properties move into the extended packet until main fits limit.
std::optional<SplitXmp> splitXmp(std::string_view packet, std::size_t limit);

}  // namespace veltrop::platform
