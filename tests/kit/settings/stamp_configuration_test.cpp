#include <gtest/gtest.h>

#include "kit/settings/stamp_configuration.h"

using namespace veltrop::settings;

namespace {
std::optional<ConfigurationProblem> check(const StampConfiguration& configuration, bool imageAvailable = true) {
    return validate(configuration, imageAvailable);
}
}  // namespace

TEST(StampConfiguration, DerivedSizes) {
    EXPECT_EQ(check(defaultConfiguration()), std::nullopt);
    StampStyle style;
    EXPECT_DOUBLE_EQ(stampTextHeight(style, 6000, 4000), 88);
    style.sizeFraction = 0.2;
    EXPECT_DOUBLE_EQ(stampTextHeight(style, 6000, 4000), 240);
    style.sizeFraction = 0.001;
    EXPECT_DOUBLE_EQ(stampTextHeight(style, 6000, 4000), 40);
    EXPECT_EQ(style.sizeFraction, 0.001);  // clamped where used, never where stored
}

TEST(StampConfiguration, ValidationOrder) {
    StampConfiguration c;
    c.timestampEnabled = false;
    EXPECT_EQ(check(c), ConfigurationProblem::nothingToDraw);

    c.watermark = WatermarkConfig{};
    c.watermark->source = WatermarkSource::text(" \n\t ");
    EXPECT_EQ(check(c), ConfigurationProblem::watermarkTextEmpty);  // watermark checked before "nothing to draw"

    c.naming.template_ = "../{name}";
    EXPECT_EQ(check(c), ConfigurationProblem::invalidFilenameTemplate);  // template first of all

    c.naming.template_ = "{name}";
    c.watermark->source = WatermarkSource::image(WatermarkImageID::fresh());
    EXPECT_EQ(check(c, false), ConfigurationProblem::watermarkImageMissing);
    EXPECT_EQ(check(c, true), std::nullopt);
}

TEST(StampConfiguration, EmptyTimestampOnlyMattersWhenDrawn) {
    StampConfiguration c;
    c.format.pattern = "''";  // formats to a lone apostrophe: fine
    EXPECT_EQ(check(c), std::nullopt);
    c.format.pattern = "'   '";
    EXPECT_EQ(check(c), ConfigurationProblem::timestampEmpty);
    c.format.pattern = "";
    EXPECT_EQ(check(c), ConfigurationProblem::timestampEmpty);

    c.style.mode = StampMode::dataStrip;
    c.strip.showTimestamp = false;
    EXPECT_EQ(check(c), std::nullopt);
    EXPECT_FALSE(drawsTimestamp(c));
    EXPECT_FALSE(needsCaptureDate(c));
    c.naming.template_ = "x{time}";
    EXPECT_TRUE(needsCaptureDate(c));
}

TEST(StampConfiguration, TemplateRules) {
    using namespace std::string_view_literals;
    for (auto invalid : {"/abs"sv, "  /abs"sv, "a/../b"sv, ".."sv, "../x"sv, "a/.."sv, "a\0b"sv})
        EXPECT_FALSE(isValidTemplate(invalid)) << invalid;
    for (auto valid : {"", "a..b/{name}", "./{name}", "{project}/{name}", "x/...", "{name}/"})
        EXPECT_TRUE(isValidTemplate(valid)) << valid;
}

TEST(StampConfiguration, InvisibleTextIsNoContent) {
    // Every Unicode space and line separator is blank (which ones those are is
    // Utf8's, against utf8proc); a character with ink is not.
    const struct {
        std::string text;
        bool blank;
    } cases[] = {
        {"\u3000\u2002\u202F", true},    // ideographic, en and narrow no-break spaces
        {"\u2028\u2029\u0085", true},  // line and paragraph separators, next line
        {"\u3000A\u00A0", false},
        {"\u200B", false},  // zero-width space is a format character, not a space
        {"\xC2", false},    // a stray byte is not white space
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        StampConfiguration configuration;
        configuration.format.pattern = "'" + c.text + "'";
        EXPECT_EQ(check(configuration), c.blank ? std::optional(ConfigurationProblem::timestampEmpty) : std::nullopt);

        configuration = {};
        configuration.timestampEnabled = false;
        configuration.watermark = WatermarkConfig{};
        configuration.watermark->source = WatermarkSource::text(c.text);
        EXPECT_EQ(hasContent(*configuration.watermark), !c.blank);
        EXPECT_EQ(check(configuration), c.blank ? std::optional(ConfigurationProblem::watermarkTextEmpty) : std::nullopt);

        // A template that starts with a slash after invisible text is still absolute.
        EXPECT_EQ(isValidTemplate(c.text + "/abs"), !c.blank);
    }
    EXPECT_TRUE(hasContent({.source = WatermarkSource::image(WatermarkImageID::fresh())}));
}

// Reading either case is SettingsJson's; here the form of a fresh one and what is refused.
TEST(Uuid, RandomVersionFourAndRefusals) {
    const Uuid id = Uuid::random();
    EXPECT_EQ(id.text()[14], '4');
    EXPECT_EQ(Uuid::parse(id.text()), id);
    EXPECT_FALSE(Uuid::parse("E621E1F8-C36C-495A-93FC-0C247A3E6E5FX"));
    EXPECT_FALSE(Uuid::parse("E621E1F8+C36C-495A-93FC-0C247A3E6E5F"));
    EXPECT_NE(Uuid::random(), Uuid::random());
}

// Copies whose names begin with "." would be hidden from every file manager.
TEST(StampConfiguration, NamesThatWouldHideCopiesAreRefused) {
    struct Case {
        const char* naming;
        const char* prefix;
        const char* title;
        bool hidden;
    };
    const Case cases[] = {
        {"{name}", ".", "", false},              // the prefix is not used
        {"{reference}", ".", "", true},          // ".-0001"
        {"{reference} {name}", "..", "", false},  // ".." is dropped from values: "-0001 photo"
        {"{reference}", "...x", "", true},       // ".x-0001"
        {" .{name}", "IMG", "", true},
        {"./{name}", "IMG", "", false},
        {"x/...", "IMG", "", true},
        {"{project}/{name}", "IMG", ".cache", true},
        {"{project}.{name}", "IMG", "", true},   // an empty title leaves the dot in front
        {"{project}.{name}", "IMG", "Site", false},
        {"a.{name}/{date}", "IMG", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.naming) + " / " + c.prefix + " / " + c.title);
        StampConfiguration configuration;
        configuration.naming.template_ = c.naming;
        configuration.project = PhotoProject{c.title, "", c.prefix, 1, true, false};
        EXPECT_EQ(namesHiddenItems(configuration.naming, *configuration.project), c.hidden);
        EXPECT_EQ(check(configuration), c.hidden ? std::optional(ConfigurationProblem::hiddenFilename) : std::nullopt);
    }
}
