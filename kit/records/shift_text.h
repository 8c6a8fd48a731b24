#pragma once
// A clock shift typed as text, as the command line takes it: "+1h30m",
// "-2d", "+45s", "+1h30m15s".

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace veltrop::records {

struct ShiftTextError {
    enum class Kind {
        malformed,     // not a sign followed by amounts with units
        repeatedUnit,  // unit: the letter given twice
        unitOrder,     // unit: the letter that came after a smaller one
        outOfRange,    // zero, or more than 366 days either way
    };
    Kind kind = Kind::malformed;
    std::string text;  // what was typed
    char unit = 0;

    std::string description() const;
    bool operator==(const ShiftTextError&) const = default;
};

// An optional sign, then whole amounts of days (d), hours (h), minutes (m)
// and seconds (s), in that order, each unit at most once. The result is the
// total in seconds: non-zero and within 366 days, so it makes a valid rule.
[[nodiscard]] std::expected<std::int64_t, ShiftTextError> parseShiftText(std::string_view text);

}  // namespace veltrop::records
