#include <gtest/gtest.h>

#include "kit/settings/stamp_format.h"

using namespace veltrop::settings;
using veltrop::dates::CaptureDate;
using veltrop::dates::CaptureDateSource;

namespace {
CaptureDate at(int hour, int minute = 5, int second = 9) {
    return {2026, 1, 3, hour, minute, second, CaptureDateSource::dateTimeOriginal};
}
}  // namespace

TEST(StampFormat, FormatsPatternLettersOnTheSampleDate) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"''yy", "'26"},
        {"'at'", "at"},
        {"HH 'h' mm", "06 h 17"},
        {"HH:mm 'o clock", "06:17 o clock"},  // unterminated quote runs to the end
        {"HH'", "06"},                        // lone closing apostrophe adds nothing
        {"y", "26"}, {"yyy", "2026"}, {"yyyyy", "02026"}, {"M MM MMM MMMM MMMMM", "8 08 Aug August August"},
        {"d dd ddd", "14 14 14"}, {"H h m s a", "6 6 17 49 AM"}, {"aa", "AMAM"}, {"EEE, Z", "EEE, Z"},
        {"\u00e9t\u00e9 yyyy", "\u00e9t\u00e9 2026"}, {"", ""},
    };
    for (const auto& [pattern, expected] : cases)
        EXPECT_EQ(format(sampleDate(), pattern), expected) << "pattern: " << pattern;
}

TEST(StampFormat, TwelveHourClock) {
    EXPECT_EQ(format(at(0), "h a"), "12 AM");
    EXPECT_EQ(format(at(12), "h a"), "12 PM");
    EXPECT_EQ(format(at(13), "hh a"), "01 PM");
    EXPECT_EQ(format(at(23), "h:mm:ss"), "11:05:09");
}

TEST(StampFormat, RetroValidationCollectsUnsupportedCharacters) {
    EXPECT_EQ(validatePattern("d MMM yyyy", StampTheme::retro), PatternValidation::unsupportedGlyphs("Aug"));
    EXPECT_EQ(validatePattern("MMM MMM", StampTheme::retro), PatternValidation::unsupportedGlyphs("AugAug"));
    EXPECT_EQ(validatePattern("h:mm a", StampTheme::retro), PatternValidation::unsupportedGlyphs("AM"));
    EXPECT_EQ(validatePattern("'\u00b7'HH", StampTheme::retro), PatternValidation::unsupportedGlyphs("\u00b7"));
    EXPECT_TRUE(validatePattern("", StampTheme::retro).isOk());
    EXPECT_TRUE(validatePattern("MMMM EEEE", StampTheme::clean).isOk());
}
