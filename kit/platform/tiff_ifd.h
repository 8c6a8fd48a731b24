#pragma once
// Reading and writing the IFDs of a TIFF-structured block (EXIF) in place,
// shared by the code that changes a copy's EXIF.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace veltrop::platform::tiff {

inline constexpr std::uint16_t typeByte = 1, typeAscii = 2, typeShort = 3, typeLong = 4, typeIfd = 13;

// Bytes per value of a TIFF type; 0 for a type TIFF does not define.
std::size_t typeSize(std::uint16_t type);

struct Range {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool operator==(const Range&) const = default;
};

// Takes one reference to range out of ranges: bytes several values share
// stay referred to while any other remains.
inline void dropOne(std::vector<Range>& ranges, const Range& range) {
    if (const auto it = std::find(ranges.begin(), ranges.end(), range); it != ranges.end()) ranges.erase(it);
}

// The block's bytes in its byte order; the block may grow while in use.
class Block {
public:
    explicit Block(std::vector<std::uint8_t>& bytes) : bytes_(bytes), bigEndian_(bytes[0] == 'M') {}

    std::size_t size() const { return bytes_.size(); }
    bool fits(std::size_t at, std::size_t length) const { return at <= size() && length <= size() - at; }

    std::uint32_t read(std::size_t at, int width) const {
        std::uint32_t value = 0;
        for (int i = 0; i < width; ++i) {
            const std::uint32_t byte = bytes_[at + static_cast<std::size_t>(bigEndian_ ? i : width - 1 - i)];
            value = (value << 8) | byte;
        }
        return value;
    }
    void write(std::size_t at, std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) {
            const int shift = 8 * (bigEndian_ ? width - 1 - i : i);
            bytes_[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> shift);
        }
    }
    void zero(Range range) { std::fill(bytes_.begin() + range.begin, bytes_.begin() + range.end, 0); }
    void move(std::size_t from, std::size_t to, std::size_t length) {
        std::copy(bytes_.begin() + from, bytes_.begin() + from + length, bytes_.begin() + to);
    }
    std::uint8_t at(std::size_t offset) const { return bytes_[offset]; }
    void set(std::size_t offset, std::uint8_t byte) { bytes_[offset] = byte; }
    void resize(std::size_t size) { bytes_.resize(size, 0); }

private:
    std::vector<std::uint8_t>& bytes_;
    bool bigEndian_;
};

struct Entry {
    std::size_t at = 0;  // of the 12-byte entry
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::optional<Range> value;  // where the value's bytes lie, when inside the block
    bool outOfLine = false;
};

struct Ifd {
    std::size_t at = 0;
    std::vector<Entry> entries;
    std::optional<std::size_t> nextField;  // where the offset of the next IFD is stored
    std::uint32_t next = 0;

    Range table() const { return {at, nextField ? *nextField + 4 : at + 2 + 12 * entries.size()}; }
    const Entry* find(std::uint16_t tag) const {
        for (const Entry& entry : entries)
            if (entry.tag == tag) return &entry;
        return nullptr;
    }
};

// nullopt for a table that starts in the header or does not fit the block.
std::optional<Ifd> readIfd(const Block& block, std::size_t at);

// The integers an entry stores (offsets, lengths), as far as they are readable.
std::vector<std::uint32_t> integers(const Block& block, const Entry& entry);

}  // namespace veltrop::platform::tiff
