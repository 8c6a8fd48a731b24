#include "kit/export/image_fixtures.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "kit/export/image_writer.h"
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

image::Bitmap solidBitmap(int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r, std::uint8_t a) {
    auto bitmap = image::Bitmap::allocate(width, height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = bitmap->row(y);
        for (int x = 0; x < width; ++x, p += 4) p[0] = b, p[1] = g, p[2] = r, p[3] = a;
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

// Little-endian integers of `size` bytes, written over or appended.
void put(Bytes& out, std::size_t at, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}
void append(Bytes& out, std::uint32_t value, int size) {
    out.resize(out.size() + static_cast<std::size_t>(size));
    put(out, out.size() - static_cast<std::size_t>(size), value, size);
}

// Writes one IFD at the end of out; values longer than 4 bytes follow it.
// Returns the offsets of the value fields by entry index.
std::vector<std::size_t> appendIfd(Bytes& out, const std::vector<TiffEntry>& entries) {
    const std::size_t start = out.size();
    out.resize(start + 2 + 12 * entries.size() + 4);
    put(out, start, static_cast<std::uint32_t>(entries.size()), 2);
    std::vector<std::size_t> valueFields;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TiffEntry& entry = entries[i];
        const std::size_t at = start + 2 + 12 * i;
        put(out, at, entry.tag, 2);
        put(out, at + 2, entry.type, 2);
        put(out, at + 4, entry.count, 4);
        valueFields.push_back(at + 8);
        if (entry.value.size() <= 4) {
            for (std::size_t b = 0; b < entry.value.size(); ++b) out[at + 8 + b] = entry.value[b];
        } else {
            put(out, at + 8, static_cast<std::uint32_t>(out.size()), 4);
            out.insert(out.end(), entry.value.begin(), entry.value.end());
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

Segment iptcSegment(const Bytes& records) {
    Bytes resource = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0};
    const auto size = static_cast<std::uint32_t>(records.size());
    resource.insert(resource.end(), {static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
                                     static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)});
    resource.insert(resource.end(), records.begin(), records.end());
    if (resource.size() % 2) resource.push_back(0);
    return {0xED, prefixed(std::string_view("Photoshop 3.0\0", 14), resource)};
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
    Bytes out = {'I', 'I', 42, 0, 8, 0, 0, 0};
    std::vector<TiffEntry> first = ifd0;
    if (!exif.empty()) first.push_back(longs(0x8769, {0}));
    if (!gps.empty()) first.push_back(longs(0x8825, {0}));
    const std::size_t ifd0Start = out.size();
    auto fields = appendIfd(out, first);
    const std::size_t nextIfdField = ifd0Start + 2 + 12 * first.size();
    std::size_t pointer = first.size() - (exif.empty() ? 0 : 1) - (gps.empty() ? 0 : 1);
    if (!exif.empty()) {
        put(out, fields[pointer++], static_cast<std::uint32_t>(out.size()), 4);
        appendIfd(out, exif);
    }
    if (!gps.empty()) {
        put(out, fields[pointer++], static_cast<std::uint32_t>(out.size()), 4);
        appendIfd(out, gps);
    }
    if (!thumbnail.empty()) {
        put(out, nextIfdField, static_cast<std::uint32_t>(out.size()), 4);
        auto thumbFields = appendIfd(out, {shorts(0x0103, {6}), longs(0x0201, {0}),
                                           longs(0x0202, {static_cast<std::uint32_t>(thumbnail.size())})});
        put(out, thumbFields[1], static_cast<std::uint32_t>(out.size()), 4);
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
    if (std::system("command -v exiftool >/dev/null 2>&1") != 0) return std::nullopt;
    const std::string command = "exiftool -j -G1 -n -q -q '" + file.string() + "' 2>/dev/null";
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return std::nullopt;
    std::string output;
    std::array<char, 4096> buffer{};
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), read);
    ::pclose(pipe);
    auto parsed = nlohmann::json::parse(output, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_array() || parsed.empty()) return std::nullopt;
    return parsed[0];
}

std::vector<std::filesystem::path> entriesStartingWith(const std::filesystem::path& folder, const std::string& prefix) {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(prefix)) found.push_back(entry.path());
    return found;
}

}  // namespace veltrop::testing
