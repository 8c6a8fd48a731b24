#pragma once
// A small UTF-8 walk for the drawing code. A malformed byte counts as one
// U+FFFD character, so hostile text can never stall or overrun the walk.

#include <cstddef>
#include <string_view>

namespace veltrop::image {

// The code point at `index` and the number of bytes it takes (at least 1).
inline char32_t decodeCodePoint(std::string_view text, std::size_t index, std::size_t& length) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(index);
    length = 1;
    if (lead < 0x80) return lead;
    std::size_t count = 0;
    char32_t value = 0;
    if ((lead & 0xE0) == 0xC0) count = 1, value = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0) count = 2, value = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0) count = 3, value = lead & 0x07;
    else return U'\uFFFD';
    for (std::size_t i = 1; i <= count; ++i) {
        if (index + i >= text.size() || (byte(index + i) & 0xC0) != 0x80) return U'\uFFFD';
        value = (value << 6) | (byte(index + i) & 0x3F);
    }
    static constexpr char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (value < smallest[count] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return U'\uFFFD';
    length = count + 1;
    return value;
}

template <class Visit>
void forEachCodePoint(std::string_view text, Visit&& visit) {
    for (std::size_t index = 0; index < text.size();) {
        std::size_t length = 1;
        const char32_t character = decodeCodePoint(text, index, length);
        visit(character);
        index += length;
    }
}

}  // namespace veltrop::image
