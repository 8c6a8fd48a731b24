#pragma once
// Date patterns: a small fixed subset of the usual pattern letters, English
// month names, no locale and no time zone.

#include <span>
#include <string>
#include <string_view>

#include "kit/dates/capture_date.h"
#include "kit/settings/stamp_style.h"

namespace veltrop::settings {

struct StampFormat {
    std::string name;
    std::string pattern;
    bool operator==(const StampFormat&) const = default;
};

// The eight built-in formats; each is named by its pattern on the sample date.
std::span<const StampFormat> builtInFormats();
const StampFormat& defaultFormat();

// 14 August 2026, 06:17:49: names, previews and validation use it.
const dates::CaptureDate& sampleDate();

// The sixteen characters the seven-segment display can draw.
inline constexpr std::string_view retroGlyphs = "0123456789 :/-.'";
bool isRetroGlyph(char32_t character);

std::string format(const dates::CaptureDate& date, std::string_view pattern);

struct PatternValidation {
    enum class Kind { ok, unsupportedGlyphs };
    Kind kind = Kind::ok;
    std::string unsupported;  // unsupportedGlyphs only: in order, repeats kept

    bool isOk() const { return kind == Kind::ok; }
    static PatternValidation ok() { return {}; }
    static PatternValidation unsupportedGlyphs(std::string characters) {
        return {Kind::unsupportedGlyphs, std::move(characters)};
    }
    bool operator==(const PatternValidation&) const = default;
};

PatternValidation validatePattern(std::string_view pattern, StampTheme theme);

// The characters of a UTF-8 text that the retro display cannot show, in order.
std::string unsupportedRetroCharacters(std::string_view text);

}  // namespace veltrop::settings
