#include "kit/records/shift_text.h"

#include <array>

#include "kit/dates/text.h"
#include "kit/records/date_correction.h"

namespace veltrop::records {

namespace {

struct Unit {
    char letter;
    std::int64_t seconds;
};

// Largest first: the order the units must be written in.
constexpr std::array<Unit, 4> units{{{'d', 86400}, {'h', 3600}, {'m', 60}, {'s', 1}}};

}  // namespace

std::string ShiftTextError::description() const {
    const std::string quoted = "\u201C" + text + "\u201D";
    switch (kind) {
        case Kind::malformed:
            return "A shift is a sign and amounts of days, hours, minutes and seconds, like +1h30m, -2d or "
                   "+45s, not " + quoted;
        case Kind::repeatedUnit:
            return "A shift names each unit once; \u201C" + std::string(1, unit) + "\u201D appears twice in " + quoted;
        case Kind::unitOrder:
            return "A shift names days, hours, minutes and seconds in that order (d, h, m, s); \u201C" +
                   std::string(1, unit) + "\u201D comes too late in " + quoted;
        case Kind::outOfRange: return std::string(errors::shiftNotAllowed);
    }
    return {};
}

std::expected<std::int64_t, ShiftTextError> parseShiftText(std::string_view typed) {
    const std::string text = dates::trimmed(typed);
    const auto failure = [&](ShiftTextError::Kind kind, char unit = 0) {
        return std::unexpected(ShiftTextError{kind, text, unit});
    };
    std::string_view rest = text;
    std::int64_t sign = 1;
    if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
        sign = rest.front() == '-' ? -1 : 1;
        rest.remove_prefix(1);
    }
    if (rest.empty()) return failure(ShiftTextError::Kind::malformed);

    std::int64_t total = 0;
    std::size_t nextUnit = 0;  // the units before this one are used up
    while (!rest.empty()) {
        std::int64_t amount = 0;
        std::size_t digits = 0;
        bool tooLarge = false;
        while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') {
            amount = amount * 10 + (rest[digits] - '0');
            // Any unit makes this more than the largest shift; stop before overflowing.
            if (amount > maximumShiftSeconds) {
                tooLarge = true;
                amount = maximumShiftSeconds + 1;
            }
            ++digits;
        }
        if (digits == 0 || digits == rest.size()) return failure(ShiftTextError::Kind::malformed);
        const char letter = rest[digits];
        std::size_t index = 0;
        while (index < units.size() && units[index].letter != letter) ++index;
        if (index == units.size()) return failure(ShiftTextError::Kind::malformed);
        if (index < nextUnit) {
            const bool seen = text.find(letter) < text.size() - rest.size() + digits;
            return failure(seen ? ShiftTextError::Kind::repeatedUnit : ShiftTextError::Kind::unitOrder, letter);
        }
        if (tooLarge) return failure(ShiftTextError::Kind::outOfRange);
        total += amount * units[index].seconds;
        if (total > maximumShiftSeconds) return failure(ShiftTextError::Kind::outOfRange);
        nextUnit = index + 1;
        rest.remove_prefix(digits + 1);
    }
    if (total == 0) return failure(ShiftTextError::Kind::outOfRange);
    return sign * total;
}

}  // namespace veltrop::records
