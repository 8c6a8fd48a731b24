#include "kit/settings/stamp_format.h"

#include <array>
#include <cstdio>
#include <vector>

#include "kit/image/utf8.h"

namespace veltrop::settings {

namespace {

constexpr std::array<std::string_view, 12> shortMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 12> fullMonths{"January", "February", "March",     "April",
                                                      "May",     "June",     "July",      "August",
                                                      "September", "October", "November", "December"};

std::string padded(std::int64_t value, int width) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%0*lld", width, static_cast<long long>(value));
    return buffer;
}

std::string_view monthName(const std::array<std::string_view, 12>& names, std::int64_t month) {
    // Parsed dates always carry months 1–12; anything else prints nothing rather than reading out of bounds.
    return month >= 1 && month <= 12 ? names[static_cast<std::size_t>(month - 1)] : std::string_view{};
}

std::string field(char letter, std::size_t run, const dates::CaptureDate& date) {
    const int width = run >= 2 ? 2 : 1;
    switch (letter) {
        case 'y':
            if (run <= 2) return padded(((date.year % 100) + 100) % 100, 2);
            return padded(date.year, static_cast<int>(run));
        case 'M':
            if (run <= 2) return padded(date.month, static_cast<int>(run));
            return std::string(monthName(run == 3 ? shortMonths : fullMonths, date.month));
        case 'd': return padded(date.day, width);
        case 'H': return padded(date.hour, width);
        case 'h': {
            const std::int64_t twelve = date.hour % 12;
            return padded(twelve == 0 ? 12 : twelve, width);
        }
        case 'm': return padded(date.minute, width);
        case 's': return padded(date.second, width);
        case 'a': return date.hour < 12 ? "AM" : "PM";
        default: return std::string(1, letter);
    }
}

bool isPatternLetter(char c) {
    return c == 'y' || c == 'M' || c == 'd' || c == 'H' || c == 'h' || c == 'm' || c == 's' || c == 'a';
}

}  // namespace

const dates::CaptureDate& sampleDate() {
    static const dates::CaptureDate date =
        *dates::CaptureDateReader::parseExifText("2026:08:14 06:17:49", dates::CaptureDateSource::dateTimeOriginal);
    return date;
}

std::span<const StampFormat> builtInFormats() {
    static const std::vector<StampFormat> formats = [] {
        const std::array<std::string_view, 8> patterns{"d MMM yyyy  HH:mm:ss", "d MMM yyyy",
                                                       "dd/MM/yyyy HH:mm",     "yyyy-MM-dd HH:mm:ss",
                                                       "dd MM ''yy",           "''yy MM dd  HH:mm",
                                                       "HH:mm:ss",             "h:mm a"};
        std::vector<StampFormat> list;
        for (auto pattern : patterns) list.push_back({format(sampleDate(), pattern), std::string(pattern)});
        return list;
    }();
    return formats;
}

const StampFormat& defaultFormat() { return builtInFormats().front(); }

bool isRetroGlyph(char32_t character) {
    return character < 0x80 && retroGlyphs.find(static_cast<char>(character)) != std::string_view::npos;
}

std::string format(const dates::CaptureDate& date, std::string_view pattern) {
    std::string out;
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char c = pattern[i];
        if (c == '\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                out.push_back('\'');
                i += 2;
                continue;
            }
            const std::size_t close = pattern.find('\'', i + 1);
            const std::size_t end = close == std::string_view::npos ? pattern.size() : close;
            out.append(pattern.substr(i + 1, end - i - 1));
            i = close == std::string_view::npos ? pattern.size() : close + 1;
        } else if (isPatternLetter(c)) {
            std::size_t run = 1;
            if (c != 'a')
                while (i + run < pattern.size() && pattern[i + run] == c) ++run;
            out += field(c, run, date);
            i += run;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

std::string unsupportedRetroCharacters(std::string_view text) {
    std::string collected;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = image::decodeCharacter(text, i).length;
        if (length != 1 || !isRetroGlyph(static_cast<unsigned char>(text[i]))) collected.append(text.substr(i, length));
        i += length;
    }
    return collected;
}

PatternValidation validatePattern(std::string_view pattern, StampTheme theme) {
    if (theme == StampTheme::clean) return PatternValidation::ok();
    std::string unsupported = unsupportedRetroCharacters(format(sampleDate(), pattern));
    if (unsupported.empty()) return PatternValidation::ok();
    return PatternValidation::unsupportedGlyphs(std::move(unsupported));
}

}  // namespace veltrop::settings
