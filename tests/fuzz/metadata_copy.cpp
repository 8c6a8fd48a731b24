// Metadata reading and the copy's metadata with GPS removed. The input is
// an EXIF block (TIFF structure) optionally followed by an XMP packet, which
// starts at the first "<?xpacket" or "<x:xmpmeta".

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <optional>
#include <span>
#include <string>

#include "harness.h"
#include "kit/platform/copy_segments.h"
#include "kit/platform/exif_metadata.h"

namespace veltrop::fuzz {

namespace {

using platform::MetadataBlocks;

constexpr std::string_view exifSignature{"Exif\0\0", 6};
constexpr std::string_view xmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};

// The copy's EXIF and main XMP, read back from the segments it would get.
MetadataBlocks copyWithoutGPS(const MetadataBlocks& source, int width, int height,
                              std::optional<platform::CopyDate> date = std::nullopt) {
    MetadataBlocks copy;
    for (const auto& segment :
         platform::segmentsForCopy(source, {.width = width, .height = height, .removeGPS = true, .date = date})) {
        if (segment.marker != 0xE1) continue;
        const std::string_view payload(reinterpret_cast<const char*>(segment.payload.data()), segment.payload.size());
        if (payload.starts_with(exifSignature))
            copy.exif.assign(segment.payload.begin() + static_cast<std::ptrdiff_t>(exifSignature.size()),
                             segment.payload.end());
        else if (payload.starts_with(xmpSignature))
            copy.xmp = std::string(payload.substr(xmpSignature.size()));
    }
    return copy;
}

MetadataBlocks blocksOf(std::string_view input) {
    const auto xmpStart = std::min(input.find("<?xpacket"), input.find("<x:xmpmeta"));
    const std::string_view exif = input.substr(0, xmpStart);
    MetadataBlocks blocks;
    blocks.exif.assign(exif.begin(), exif.end());
    if (xmpStart != std::string_view::npos) blocks.xmp = std::string(input.substr(xmpStart));
    return blocks;
}

// IFD0's tags read straight from the TIFF bytes, independent of the metadata
// library; nullopt when there is no readable IFD0.
std::optional<std::vector<std::uint16_t>> firstDirectoryTags(const std::vector<std::uint8_t>& tiff) {
    if (tiff.size() < 8) return std::nullopt;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) return std::nullopt;
    const auto u16 = [&](std::size_t at) -> std::uint16_t {
        return little ? static_cast<std::uint16_t>(tiff[at] | tiff[at + 1] << 8)
                      : static_cast<std::uint16_t>(tiff[at] << 8 | tiff[at + 1]);
    };
    const auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? static_cast<std::uint32_t>(u16(at) | u16(at + 2) << 16)
                      : static_cast<std::uint32_t>(u16(at) << 16 | u16(at + 2));
    };
    const std::size_t offset = u32(4);
    if (offset > tiff.size() - 2) return std::nullopt;
    const std::size_t count = u16(offset);
    if (count * 12 > tiff.size() - offset - 2) return std::nullopt;
    std::vector<std::uint16_t> tags;
    for (std::size_t i = 0; i < count; ++i) tags.push_back(u16(offset + 2 + i * 12));
    return tags;
}

// A GPS property as XMP writes it: an element or an attribute in the exif
// namespace. Text values cannot imitate either, since "<" and quotes in them
// are escaped.
bool xmpHasGPS(std::string_view packet) {
    // Readers skip comments.
    std::string uncommented;
    for (std::size_t at = 0; at < packet.size();) {
        const std::size_t open = packet.find("<!--", at);
        uncommented += packet.substr(at, open - at);
        if (open == std::string_view::npos) break;
        const std::size_t close = packet.find("-->", open + 4);
        at = close == std::string_view::npos ? packet.size() : close + 3;
    }
    packet = uncommented;
    if (packet.find("<exif:GPS") != std::string_view::npos) return true;
    for (std::size_t at = packet.find("exif:GPS"); at != std::string_view::npos;
         at = packet.find("exif:GPS", at + 1)) {
        if (at == 0 || std::string_view(" \t\r\n").find(packet[at - 1]) == std::string_view::npos) continue;
        std::size_t end = at + 8;
        while (end < packet.size() && std::isalnum(static_cast<unsigned char>(packet[end]))) ++end;
        if (end < packet.size() && packet[end] == '=') return true;
    }
    return false;
}

// Equality that counts a NaN (a stored double can hold one) equal to itself.
bool same(const dates::PropertyValue& a, const dates::PropertyValue& b);

bool same(const dates::PropertyDictionary& a, const dates::PropertyDictionary& b) {
    return std::ranges::equal(
        a, b, [](const auto& x, const auto& y) { return x.first == y.first && same(x.second, y.second); });
}

bool same(const dates::PropertyValue& a, const dates::PropertyValue& b) {
    if (a.number() && b.number())
        return *a.number() == *b.number() || (std::isnan(*a.number()) && std::isnan(*b.number()));
    if (a.list() && b.list())
        return std::ranges::equal(*a.list(), *b.list(), [](const auto& x, const auto& y) { return same(x, y); });
    if (a.dictionary() && b.dictionary()) return same(*a.dictionary(), *b.dictionary());
    return a == b;
}

}  // namespace

int fuzzMetadataCopy(const std::uint8_t* data, std::size_t size) {
    const MetadataBlocks source = blocksOf(std::string_view(reinterpret_cast<const char*>(data), size));
    (void)platform::metadataProperties(source);

    const MetadataBlocks copy = copyWithoutGPS(source, 640, 70000);
    // The copy's TIFF header is the source's: values are never written over
    // it. A tangled block is written out anew, with IFD0 right after the header.
    if (copy.exif.size() >= 8 && source.exif.size() >= 8) {
        FUZZ_CHECK(std::ranges::equal(std::span(copy.exif).first(4), std::span(source.exif).first(4)));
        const auto ifd0At = std::span(copy.exif).subspan(4, 4);
        const bool rebuilt = std::ranges::equal(ifd0At, copy.exif[0] == 'I' ? std::array<std::uint8_t, 4>{8, 0, 0, 0}
                                                                             : std::array<std::uint8_t, 4>{0, 0, 0, 8});
        FUZZ_CHECK(rebuilt || std::ranges::equal(ifd0At, std::span(source.exif).subspan(4, 4)));
    }
    const auto properties = platform::metadataProperties(copy);
    FUZZ_CHECK(dates::group(properties, dates::keys::gps).empty());
    if (const auto tags = firstDirectoryTags(copy.exif)) {
        FUZZ_CHECK(std::ranges::find(*tags, 0x8825) == tags->end());  // GPS IFD pointer
    }
    FUZZ_CHECK(!xmpHasGPS(copy.xmp));

    if (!copy.exif.empty()) {
        // Patched where it is stored; a block without one already reads as upright.
        const auto* orientation = dates::find(dates::group(properties, dates::keys::tiff), "Orientation");
        FUZZ_CHECK(!orientation || (orientation->number() && *orientation->number() == 1));
    }

    // The copy's metadata taken as a source reads the same once copied again.
    FUZZ_CHECK(same(platform::metadataProperties(copyWithoutGPS(copy, 640, 70000)), properties));

    // Asked to, the copy records a corrected date whatever the source held.
    const platform::CopyDate date{{2026, 8, 14, 7, 47, 49}, 3600};
    const auto dated = platform::metadataProperties(copyWithoutGPS(source, 640, 70000, date));
    const auto& exif = dates::group(dated, dates::keys::exif);
    for (const auto key : {dates::keys::dateTimeOriginal, dates::keys::dateTimeDigitized}) {
        const auto* value = dates::find(exif, key);
        FUZZ_CHECK(value && value->string() && *value->string() == "2026:08:14 07:47:49");
    }
    return 0;
}

}  // namespace veltrop::fuzz
