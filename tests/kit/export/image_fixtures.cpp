#include "kit/export/image_fixtures.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "kit/export/image_writer.h"
#include "kit/export/photo_discovery.h"
#include "support/test_support.h"

namespace veltrop::testing {

image::Bitmap patternBitmap(int width, int height) {
    auto bitmap = image::Bitmap::allocate(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = bitmap->row(y);
        for (int x = 0; x < width; ++x, p += 4) {
            p[0] = static_cast<std::uint8_t>(width > 1 ? x * 255 / (width - 1) : 0);
            p[1] = static_cast<std::uint8_t>(height > 1 ? y * 255 / (height - 1) : 0);
            p[2] = (x < width / 2 && y < height / 2) ? 200 : 0;
            p[3] = 255;
        }
    }
    return *bitmap;
}

Bytes encodeJpeg(const image::Bitmap& bitmap, int quality) {
    TempDir folder;
    const auto file = folder / "plain.jpg";
    auto written = exporting::ImageWriter::write(bitmap, file, {}, {quality / 100.0, false});
    if (!written) throw std::runtime_error(written.error().description());
    return readBytes(file);
}

Bytes withSegments(const Bytes& jpeg, const std::vector<Segment>& segments) {
    Bytes result(jpeg.begin(), jpeg.begin() + 2);
    for (const Segment& segment : segments) {
        const std::size_t length = segment.payload.size() + 2;
        result.insert(result.end(), {0xFF, static_cast<std::uint8_t>(segment.marker),
                                     static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)});
        result.insert(result.end(), segment.payload.begin(), segment.payload.end());
    }
    result.insert(result.end(), jpeg.begin() + 2, jpeg.end());
    return result;
}

namespace {

Bytes prefixed(std::string_view prefix, const Bytes& data) {
    Bytes result(prefix.begin(), prefix.end());
    result.insert(result.end(), data.begin(), data.end());
    return result;
}

// Integers of `size` bytes in the block's byte order, written over or appended.
void put(Bytes& out, std::size_t at, std::uint32_t value, int size, bool big = false) {
    for (int i = 0; i < size; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * (big ? size - 1 - i : i)));
}
void append(Bytes& out, std::uint32_t value, int size) {
    out.resize(out.size() + static_cast<std::size_t>(size));
    put(out, out.size() - static_cast<std::size_t>(size), value, size);
}

// Entry values are kept little-endian; a big-endian block turns every unit round.
Bytes ordered(const TiffEntry& entry, bool big) {
    std::size_t unit = 1;
    if (entry.type == 3 || entry.type == 8) unit = 2;
    if (entry.type == 4 || entry.type == 9 || entry.type == 5 || entry.type == 10 || entry.type == 11) unit = 4;
    Bytes value = entry.value;
    if (big)
        for (std::size_t at = 0; at + unit <= value.size(); at += unit) std::reverse(value.begin() + at, value.begin() + at + unit);
    return value;
}

// Writes one IFD at the end of out; values longer than 4 bytes follow it.
// Returns the offsets of the value fields by entry index.
std::vector<std::size_t> appendIfd(Bytes& out, const std::vector<TiffEntry>& entries, bool big) {
    const std::size_t start = out.size();
    out.resize(start + 2 + 12 * entries.size() + 4);
    put(out, start, static_cast<std::uint32_t>(entries.size()), 2, big);
    std::vector<std::size_t> valueFields;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TiffEntry& entry = entries[i];
        const Bytes value = ordered(entry, big);
        const std::size_t at = start + 2 + 12 * i;
        put(out, at, entry.tag, 2, big);
        put(out, at + 2, entry.type, 2, big);
        put(out, at + 4, entry.count, 4, big);
        valueFields.push_back(at + 8);
        if (value.size() <= 4) {
            for (std::size_t b = 0; b < value.size(); ++b) out[at + 8 + b] = value[b];
        } else {
            put(out, at + 8, static_cast<std::uint32_t>(out.size()), 4, big);
            out.insert(out.end(), value.begin(), value.end());
            if (out.size() % 2) out.push_back(0);
        }
    }
    return valueFields;
}

}  // namespace

Segment exifSegment(const Bytes& tiff) { return {0xE1, prefixed(std::string_view("Exif\0\0", 6), tiff)}; }

Segment xmpSegment(const std::string& packet) {
    return {0xE1, prefixed(std::string_view("http://ns.adobe.com/xap/1.0/\0", 29), Bytes(packet.begin(), packet.end()))};
}

Segment iccSegment(const Bytes& profile) {
    Bytes data = {1, 1};
    data.insert(data.end(), profile.begin(), profile.end());
    return {0xE2, prefixed(std::string_view("ICC_PROFILE\0", 12), data)};
}

Bytes photoshopResource(std::uint16_t id, const Bytes& data) {
    Bytes resource = {'8', 'B', 'I', 'M', static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id), 0, 0};
    for (int shift = 24; shift >= 0; shift -= 8) resource.push_back(static_cast<std::uint8_t>(data.size() >> shift));
    resource.insert(resource.end(), data.begin(), data.end());
    if (resource.size() % 2) resource.push_back(0);
    return resource;
}

Segment iptcSegment(const Bytes& records) {
    return {0xED, prefixed(std::string_view("Photoshop 3.0\0", 14), photoshopResource(0x0404, records))};
}

TiffEntry ascii(std::uint16_t tag, const std::string& text) {
    Bytes value(text.begin(), text.end());
    value.push_back(0);
    return {tag, 2, static_cast<std::uint32_t>(value.size()), value};
}

TiffEntry shorts(std::uint16_t tag, const std::vector<std::uint16_t>& values) {
    Bytes value;
    for (auto v : values) append(value, v, 2);
    return {tag, 3, static_cast<std::uint32_t>(values.size()), value};
}

TiffEntry longs(std::uint16_t tag, const std::vector<std::uint32_t>& values) {
    Bytes value;
    for (auto v : values) append(value, v, 4);
    return {tag, 4, static_cast<std::uint32_t>(values.size()), value};
}

TiffEntry rationals(std::uint16_t tag, const std::vector<std::pair<std::uint32_t, std::uint32_t>>& values) {
    Bytes value;
    for (auto [n, d] : values) append(value, n, 4), append(value, d, 4);
    return {tag, 5, static_cast<std::uint32_t>(values.size()), value};
}

Bytes TiffBlock::build() const {
    const bool big = bigEndian;
    Bytes out = big ? Bytes{'M', 'M', 0, 42, 0, 0, 0, 8} : Bytes{'I', 'I', 42, 0, 8, 0, 0, 0};
    std::vector<TiffEntry> first = ifd0;
    if (!exif.empty()) first.push_back(longs(0x8769, {0}));
    if (!gps.empty()) first.push_back(longs(0x8825, {0}));
    std::sort(first.begin(), first.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
    const std::size_t ifd0Start = out.size();
    auto fields = appendIfd(out, first, big);
    const std::size_t nextIfdField = ifd0Start + 2 + 12 * first.size();
    const auto fieldOf = [&](std::uint16_t tag) {
        for (std::size_t i = 0; i < first.size(); ++i)
            if (first[i].tag == tag) return fields[i];
        return std::size_t{0};
    };
    if (!exif.empty()) {
        put(out, fieldOf(0x8769), static_cast<std::uint32_t>(out.size()), 4, big);
        appendIfd(out, exif, big);
    }
    if (!gps.empty()) {
        put(out, fieldOf(0x8825), static_cast<std::uint32_t>(out.size()), 4, big);
        appendIfd(out, gps, big);
    }
    if (!thumbnail.empty()) {
        put(out, nextIfdField, static_cast<std::uint32_t>(out.size()), 4, big);
        auto thumbFields = appendIfd(out, {shorts(0x0103, {6}), longs(0x0201, {0}),
                                           longs(0x0202, {static_cast<std::uint32_t>(thumbnail.size())})}, big);
        put(out, thumbFields[1], static_cast<std::uint32_t>(out.size()), 4, big);
        out.insert(out.end(), thumbnail.begin(), thumbnail.end());
    }
    return out;
}

Bytes iptcRecord(std::uint8_t tag, const std::string& text) {
    Bytes record(5 + text.size());
    record[0] = 0x1C, record[1] = 2, record[2] = tag;
    record[3] = static_cast<std::uint8_t>(text.size() >> 8), record[4] = static_cast<std::uint8_t>(text.size());
    std::copy(text.begin(), text.end(), record.begin() + 5);
    return record;
}

void writeBytes(const std::filesystem::path& file, const Bytes& bytes) {
    writeFile(file, std::string(bytes.begin(), bytes.end()));
}

Bytes readBytes(const std::filesystem::path& file) {
    const std::string text = readFile(file);
    return Bytes(text.begin(), text.end());
}

std::optional<nlohmann::json> referenceMetadata(const std::filesystem::path& file) {
    if (!hasTool("exiftool")) return std::nullopt;
    const auto output = commandOutput("exiftool -j -G1 -n -q -q " + shellQuoted(file) + " 2>/dev/null");
    auto parsed = nlohmann::json::parse(output.value_or(""), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_array() || parsed.empty()) return std::nullopt;
    return parsed[0];
}

Bytes iccProfile(std::string_view colourSpace, std::size_t size) {
    Bytes profile(std::max<std::size_t>(size, 180), 0);
    put(profile, 0, static_cast<std::uint32_t>(profile.size()), 4, true);
    profile[8] = 2, profile[9] = 0x10;  // version 2.1
    std::copy_n("mntr", 4, profile.begin() + 12);
    std::copy(colourSpace.begin(), colourSpace.end(), profile.begin() + 16);
    std::copy_n("XYZ ", 4, profile.begin() + 20);
    std::copy_n("acsp", 4, profile.begin() + 36);
    // One tag, a copyright text; the rest is a pattern nobody reads.
    put(profile, 128, 1, 4, true);
    std::copy_n("cprt", 4, profile.begin() + 132);
    put(profile, 136, 144, 4, true);
    put(profile, 140, 20, 4, true);
    std::copy_n("text\0\0\0\0Test profile", 20, profile.begin() + 144);
    for (std::size_t i = 164; i < profile.size(); ++i) profile[i] = static_cast<std::uint8_t>(i * 7);
    return profile;
}

std::vector<Segment> segmentsOf(const Bytes& jpeg) {
    std::vector<Segment> segments;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const int marker = jpeg[at + 1];
        if (marker == 0xDA) break;
        const std::size_t length = std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3];
        if (length < 2 || at + 2 + length > jpeg.size()) break;
        if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE)
            segments.push_back({marker, Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                              jpeg.begin() + static_cast<std::ptrdiff_t>(at + 2 + length))});
        at += 2 + length;
    }
    return segments;
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return !needle.empty() && std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

std::optional<RgbImage> decodeWithDjpeg(const std::filesystem::path& file, const std::string& options) {
    return decodePnm("djpeg -rgb -pnm " + options + " " + shellQuoted(file));
}

std::optional<RgbImage> decodePnm(const std::string& command) {
    const auto output = commandOutput(command + " 2>/dev/null");
    // Binary PNM: magic, width, height, maximum, one white-space byte, samples.
    std::istringstream in(output.value_or(""));
    std::string magic;
    RgbImage image;
    int maximum = 0;
    if (!(in >> magic >> image.width >> image.height >> maximum) || (magic != "P5" && magic != "P6"))
        return std::nullopt;
    in.get();
    const int channels = magic == "P6" ? 3 : 1;
    std::string samples(static_cast<std::size_t>(image.width) * image.height * channels, '\0');
    if (!in.read(samples.data(), static_cast<std::streamsize>(samples.size()))) return std::nullopt;
    for (const char sample : samples)
        image.pixels.insert(image.pixels.end(), 4 - channels, static_cast<std::uint8_t>(sample));
    return image;
}

exporting::StampPlan stampPlan(const std::filesystem::path& source, const std::filesystem::path& destination,
                               const settings::StampConfiguration& configuration) {
    const auto photos = exporting::PhotoDiscovery::makePhotos({source}, {source});
    exporting::StampPlan plan{photos.front(), std::nullopt, destination, std::nullopt,
                              records::makeRecord(photos.front(), 0, configuration, {}, std::nullopt)};
    plan.date = plan.record.resolvedDate.value_or(dates::CaptureDate{2026, 8, 14, 6, 17, 49});
    return plan;
}

std::vector<std::filesystem::path> entriesStartingWith(const std::filesystem::path& folder, const std::string& prefix) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(prefix)) found.push_back(entry.path());
    return found;
}

}  // namespace veltrop::testing
