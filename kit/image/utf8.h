#pragma once
// The one UTF-8 decoder of the kit. Strict, as RFC 3629 asks: overlong forms,
// surrogates and anything above U+10FFFF are malformed. A malformed byte
// counts as one U+FFFD character, so hostile text can never stall or overrun
// a walk. Everything that reads UTF-8 byte by byte goes through here, so that
// all parts agree on what a character is.

#include <cstddef>
#include <string_view>

namespace veltrop::image {

struct DecodedCharacter {
    char32_t value = U'\uFFFD';
    std::size_t length = 1;  // bytes taken, at least 1
    bool valid = false;      // false: a malformed byte, read as U+FFFD
};

// The character that starts at `index` (which must lie inside the text).
constexpr DecodedCharacter decodeCharacter(std::string_view text, std::size_t index) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(index);
    if (lead < 0x80) return {lead, 1, true};
    std::size_t count = 0;
    char32_t value = 0;
    // The second byte's range rules out overlong forms, surrogates and values past U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 1, value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 2, value = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 3, value = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return {};
    }
    for (std::size_t i = 1; i <= count; ++i) {
        if (index + i >= text.size()) return {};
        const unsigned char next = byte(index + i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return {};
        value = (value << 6) | (next & 0x3F);
    }
    return {value, count + 1, true};
}

// The code point at `index` and the number of bytes it takes (at least 1).
inline char32_t decodeCodePoint(std::string_view text, std::size_t index, std::size_t& length) {
    const DecodedCharacter character = decodeCharacter(text, index);
    length = character.length;
    return character.value;
}

template <class Visit>
void forEachCodePoint(std::string_view text, Visit&& visit) {
    for (std::size_t index = 0; index < text.size();) {
        const DecodedCharacter character = decodeCharacter(text, index);
        visit(character.value);
        index += character.length;
    }
}

constexpr bool isValidUtf8(std::string_view text) {
    for (std::size_t index = 0; index < text.size();) {
        const DecodedCharacter character = decodeCharacter(text, index);
        if (!character.valid) return false;
        index += character.length;
    }
    return true;
}

// Line breaks: LF, VT, FF, CR, NEL and the Unicode line and paragraph separators (Zl, Zp).
constexpr bool isLineBreak(char32_t c) {
    return (c >= U'\n' && c <= U'\r') || c == U'\u0085' || c == U'\u2028' || c == U'\u2029';
}

// Space separators (Unicode category Zs) and the tab.
constexpr bool isSpace(char32_t c) {
    return c == U' ' || c == U'\t' || c == U'\u00A0' || c == U'\u1680' || (c >= U'\u2000' && c <= U'\u200A') ||
           c == U'\u202F' || c == U'\u205F' || c == U'\u3000';
}

// White space and line breaks: categories Zs, Zl and Zp and the control
// characters that are white space (tab to carriage return, NEL).
constexpr bool isWhiteSpace(char32_t c) { return isSpace(c) || isLineBreak(c); }

// The text without the characters `drop` holds for at either end.
template <class Predicate>
constexpr std::string_view trimmedBy(std::string_view text, Predicate drop) {
    std::size_t first = text.size(), last = 0;
    for (std::size_t index = 0; index < text.size();) {
        const DecodedCharacter character = decodeCharacter(text, index);
        if (!character.valid || !drop(character.value)) {
            if (first == text.size()) first = index;
            last = index + character.length;
        }
        index += character.length;
    }
    if (first == text.size()) return text.substr(0, 0);
    return text.substr(first, last - first);
}

}  // namespace veltrop::image
