#include <gtest/gtest.h>

#include <random>

#include "kit/records/date_correction.h"
#include "kit/records/shift_text.h"

using namespace veltrop::records;
using Kind = ShiftTextError::Kind;

// Generated shifts: any subset of d, h, m, s in order, with any amounts and
// either sign, reads as the sum of its parts. The answer is computed here
// from the parts, not by the parser's own arithmetic.
TEST(ShiftText, GeneratedShiftsReadAsTheSumOfTheirParts) {
    std::mt19937 random(20260814);
    constexpr std::pair<char, std::int64_t> units[] = {{'d', 86400}, {'h', 3600}, {'m', 60}, {'s', 1}};
    // Amounts up to these keep most totals within range while reaching past it often enough.
    constexpr std::int64_t largest[] = {400, 48, 150, 5000};
    int accepted = 0, refused = 0;
    for (int trial = 0; trial < 5000; ++trial) {
        const int sign = random() % 3;  // none, "+", "-"
        std::string text = sign == 0 ? "" : sign == 1 ? "+" : "-";
        std::int64_t total = 0;
        bool any = false;
        for (std::size_t u = 0; u < 4; ++u) {
            if (random() % 2 == 0) continue;
            const std::int64_t amount = std::uniform_int_distribution<std::int64_t>(0, largest[u])(random);
            text += std::to_string(amount) + units[u].first;
            total += amount * units[u].second;
            any = true;
        }
        if (!any) continue;
        if (sign == 2) total = -total;
        const auto parsed = parseShiftText(text);
        if (total != 0 && total >= -maximumShiftSeconds && total <= maximumShiftSeconds) {
            ASSERT_TRUE(parsed) << text << ": " << parsed.error().description();
            EXPECT_EQ(*parsed, total) << text;
            ++accepted;
        } else {
            ASSERT_FALSE(parsed) << text;
            EXPECT_EQ(parsed.error().kind, Kind::outOfRange) << text;
            EXPECT_EQ(parsed.error().description(), errors::shiftNotAllowed);
            ++refused;
        }
    }
    // Both branches were taken often.
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(refused, 100);
}

TEST(ShiftText, ExamplesAndRefusals) {
    const std::pair<std::string, std::int64_t> examples[] = {
        {"+1h30m", 5400},        {"-1h2m", -3720},   {"-1d2h", -93600},  {"+45s", 45},
        {"+1h30m15s", 5415},     {"90m", 5400},      {" -2d ", -172800}, {"+366d", 31622400},
        {"-365d23h59m60s", -31622400},
    };
    for (const auto& [text, seconds] : examples) {
        const auto parsed = parseShiftText(text);
        ASSERT_TRUE(parsed) << text << ": " << parsed.error().description();
        EXPECT_EQ(*parsed, seconds) << text;
    }

    const std::tuple<std::string, Kind, char> refusals[] = {
        {"+30m1h", Kind::unitOrder, 'h'},  {"+1s1d", Kind::unitOrder, 'd'}, {"+1h1h", Kind::repeatedUnit, 'h'},
        {"+1h30m1h", Kind::repeatedUnit, 'h'},
        {"", Kind::malformed, 0},          {"+", Kind::malformed, 0},        {"1x", Kind::malformed, 0},
        {"+1", Kind::malformed, 0},        {"+h", Kind::malformed, 0},       {"+-1h", Kind::malformed, 0},
        {"+1h 30m", Kind::malformed, 0},   {"+1H", Kind::malformed, 0},      {"+1.5h", Kind::malformed, 0},
        {"+0h", Kind::outOfRange, 0},      {"+366d1s", Kind::outOfRange, 0}, {"+99999999999999999999d", Kind::outOfRange, 0},
    };
    for (const auto& [text, kind, unit] : refusals) {
        const auto parsed = parseShiftText(text);
        ASSERT_FALSE(parsed) << text << " gave " << *parsed;
        EXPECT_EQ(parsed.error().kind, kind) << text;
        EXPECT_EQ(parsed.error().unit, unit) << text;
    }
    EXPECT_EQ(parseShiftText("+30m1h").error().description(),
              "A shift names days, hours, minutes and seconds in that order (d, h, m, s); \u201Ch\u201D comes too "
              "late in \u201C+30m1h\u201D");
    EXPECT_EQ(parseShiftText("+1h1h").error().description(),
              "A shift names each unit once; \u201Ch\u201D appears twice in \u201C+1h1h\u201D");
}
