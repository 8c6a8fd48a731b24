#include "kit/platform/tiff_ifd.h"

namespace veltrop::platform::tiff {

std::size_t typeSize(std::uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;
        case 3: case 8: return 2;
        case 4: case 9: case 11: case 13: return 4;
        case 5: case 10: case 12: return 8;
        default: return 0;
    }
}

std::optional<Ifd> readIfd(const Block& block, std::size_t at) {
    // A table starting in the header would be edited over it (found by
    // fuzzing: IFD0 at 5 had its next-IFD offset cleared over the header).
    if (at < 8 || !block.fits(at, 2)) return std::nullopt;
    const std::size_t count = block.read(at, 2);
    if (!block.fits(at + 2, 12 * count)) return std::nullopt;
    Ifd ifd;
    ifd.at = at;
    for (std::size_t i = 0; i < count; ++i) {
        Entry entry;
        entry.at = at + 2 + 12 * i;
        entry.tag = static_cast<std::uint16_t>(block.read(entry.at, 2));
        entry.type = static_cast<std::uint16_t>(block.read(entry.at + 2, 2));
        entry.count = block.read(entry.at + 4, 4);
        const std::size_t unit = typeSize(entry.type);
        if (unit != 0 && entry.count <= block.size() / unit) {
            const std::size_t length = unit * entry.count;
            if (length <= 4) {
                entry.value = Range{entry.at + 8, entry.at + 8 + length};
            } else {
                entry.outOfLine = true;
                const std::size_t offset = block.read(entry.at + 8, 4);
                if (block.fits(offset, length)) entry.value = Range{offset, offset + length};
            }
        }
        ifd.entries.push_back(entry);
    }
    const std::size_t nextField = at + 2 + 12 * count;
    if (block.fits(nextField, 4)) {
        ifd.nextField = nextField;
        ifd.next = block.read(nextField, 4);
    }
    return ifd;
}

std::vector<std::uint32_t> integers(const Block& block, const Entry& entry) {
    std::vector<std::uint32_t> values;
    if (!entry.value || (entry.type != typeShort && entry.type != typeLong && entry.type != typeIfd)) return values;
    const int width = static_cast<int>(typeSize(entry.type));
    for (std::size_t at = entry.value->begin; at < entry.value->end; at += static_cast<std::size_t>(width))
        values.push_back(block.read(at, width));
    return values;
}

}  // namespace veltrop::platform::tiff
