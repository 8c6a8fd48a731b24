#include "kit/settings/settings_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace veltrop::settings;

namespace {

std::string encoded(const StampConfiguration& configuration) {
    auto text = encodeStampConfiguration(configuration);
    EXPECT_TRUE(text) << text.error().description();
    return text ? *text : std::string{};
}

// Replaces the one occurrence of `from`; a missing one means the test itself is stale.
std::string replaced(std::string text, std::string_view from, std::string_view to) {
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << "no " << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

std::string decodeFailure(std::string_view json) {
    const auto result = decodeStampConfiguration(json);
    return result ? std::string("decoded") : result.error().description();
}

StampConfiguration withTextWatermark(std::string text) {
    StampConfiguration configuration;
    configuration.watermark = WatermarkConfig{};
    configuration.watermark->source = WatermarkSource::text(std::move(text));
    return configuration;
}

const Uuid imageUuid = *Uuid::parse("0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");

}  // namespace

TEST(SettingsJson, RoundTripsVariedConfigurations) {
    std::vector<StampConfiguration> cases;
    cases.push_back(defaultConfiguration());

    auto text = withTextWatermark("\u00A9 \"Field\" team / 2026\n\t\\ \x01 caf\u00E9 \U0001F305");
    text.watermark->corner = StampCorner::topRight;
    text.watermark->opacity = 0.15;
    text.watermark->ink = StampInk::amber;
    text.watermark->backing = StampBacking::box;
    cases.push_back(text);

    StampConfiguration image;
    image.watermark = WatermarkConfig{};
    image.watermark->source = WatermarkSource::image({imageUuid});
    image.watermark->sizeFraction = 0.2;
    image.timestampEnabled = false;
    cases.push_back(image);

    StampConfiguration everything;
    everything.format = builtInFormats()[2];
    everything.style = {StampMode::dataStrip, StampTheme::retro, StampCorner::topLeft, StampBacking::none,
                        StampInk::black, 0.5, -0.1};  // out of range: kept as stored
    everything.strip = {"Survey \u00B7 north", false, false, true, true, StripBackground::white};
    everything.naming.template_ = "{project}/{date}/{reference}-{name}";
    everything.outputRoot = "/home/a/My Photos/R\u00E9sum\u00E9 100%#?";
    everything.includeSubfolders = false;
    everything.removeGPS = true;
    everything.useFileDateFallback = true;
    everything.jpegQuality = 0.1 + 0.2;
    everything.keepOriginalQuality = true;
    everything.writeCorrectedDates = true;
    everything.project = PhotoProject{"Bridge \u2014 span 2", "Riverside", "", -42, false, false};
    cases.push_back(everything);

    StampConfiguration extremes;
    extremes.style.sizeFraction = std::numeric_limits<double>::denorm_min();
    extremes.style.marginFraction = 1e300;
    extremes.jpegQuality = 1;
    extremes.project = PhotoProject{};
    extremes.project->firstNumber = std::numeric_limits<std::int64_t>::min();
    extremes.outputRoot = "/";
    cases.push_back(extremes);

    for (const auto& configuration : cases) {
        const std::string first = encoded(configuration);
        EXPECT_EQ(encoded(configuration), first) << "encoding must be deterministic";
        const auto decoded = decodeStampConfiguration(first);
        ASSERT_TRUE(decoded) << decoded.error().description() << "\n" << first;
        EXPECT_EQ(*decoded, configuration) << first;
        EXPECT_EQ(encoded(*decoded), first);
    }
}

TEST(SettingsJson, ExactTextOfASmallConfiguration) {
    StampConfiguration configuration;
    configuration.format = builtInFormats()[2];
    configuration.outputRoot = "/home/a/My Photos";
    configuration.watermark = WatermarkConfig{};
    configuration.watermark->source = WatermarkSource::image({imageUuid});
    configuration.jpegQuality = 1;

    EXPECT_EQ(encoded(configuration), R"({
  "format": {
    "name": "14\/08\/2026 06:17",
    "pattern": "dd\/MM\/yyyy HH:mm"
  },
  "includeSubfolders": true,
  "jpegQuality": 1,
  "naming": {
    "template": "{name}"
  },
  "outputRoot": "file:\/\/\/home\/a\/My%20Photos\/",
  "removeGPS": false,
  "strip": {
    "background": "black",
    "label": "",
    "showCamera": true,
    "showExposure": false,
    "showLens": false,
    "showTimestamp": true
  },
  "style": {
    "backing": "shadow",
    "corner": "bottomRight",
    "ink": "white",
    "marginFraction": 0.025,
    "mode": "overlay",
    "sizeFraction": 0.022,
    "theme": "clean"
  },
  "timestampEnabled": true,
  "useFileDateFallback": false,
  "watermark": {
    "backing": "shadow",
    "corner": "bottomLeft",
    "ink": "white",
    "opacity": 0.65,
    "sizeFraction": 0.06,
    "source": {
      "image": {
        "_0": {
          "rawValue": "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D"
        }
      }
    }
  }
})");
}

// Settings written before the key existed read with it off, and with it off
// nothing new is written, so that older readers see what they know.
TEST(SettingsJson, WriteCorrectedDatesIsOptionalAndOffByDefault) {
    StampConfiguration configuration;
    EXPECT_EQ(encoded(configuration).find("writeCorrectedDates"), std::string::npos);
    EXPECT_FALSE(decodeStampConfiguration(encoded(configuration))->writeCorrectedDates);
    configuration.writeCorrectedDates = true;
    EXPECT_NE(encoded(configuration).find("\"writeCorrectedDates\": true"), std::string::npos);
    const std::string off = replaced(encoded(configuration), "\"writeCorrectedDates\": true", "\"writeCorrectedDates\": false");
    EXPECT_FALSE(decodeStampConfiguration(off)->writeCorrectedDates);
}

TEST(SettingsJson, OptionalKeysMayBeAbsentOrNull) {
    const std::string json = encoded(defaultConfiguration());
    EXPECT_EQ(json.find("watermark"), std::string::npos);
    EXPECT_EQ(json.find("outputRoot"), std::string::npos);
    EXPECT_EQ(json.find("project"), std::string::npos);

    const std::string withNulls = replaced(
        json, "\"timestampEnabled\"",
        "\"watermark\": null, \"outputRoot\": null, \"project\": null, \"futureKey\": [1], \"timestampEnabled\"");
    const auto decoded = decodeStampConfiguration(withNulls);
    ASSERT_TRUE(decoded) << decoded.error().description();
    EXPECT_EQ(*decoded, defaultConfiguration());
}

TEST(SettingsJson, StrictReadingNamesTheFault) {
    const std::string base = encoded(withTextWatermark("Survey"));
    const std::string source = R"("source": {
      "text": {
        "_0": "Survey"
      }
    })";
    const std::pair<std::string, std::string> cases[] = {
        {replaced(base, "  \"useFileDateFallback\": false,\n", ""),
         "Missing key \u201CuseFileDateFallback\u201D at configuration"},
        {replaced(base, "\"theme\": \"clean\"", "\"theme\": \"sepia\""),
         "Unknown value \u201Csepia\u201D for key \u201Ctheme\u201D at configuration.style"},
        {replaced(base, "\"timestampEnabled\": true", "\"timestampEnabled\": 1"),
         "Expected a boolean for key \u201CtimestampEnabled\u201D at configuration"},
        {replaced(base, "\"opacity\": 0.65", "\"opacity\": \"0.65\""),
         "Expected a number for key \u201Copacity\u201D at configuration.watermark"},
        {replaced(base, "\"_0\": \"Survey\"", "\"_1\": \"Survey\""),
         "Missing key \u201C_0\u201D at configuration.watermark.source.text"},
        {replaced(base, source, R"("source": {"text": {"_0": "a"}, "image": {"_0": {"rawValue": "x"}}})"),
         "Invalid number of keys found, expected one."},
        {replaced(base, source, R"("source": {})"), "Invalid number of keys found, expected one."},
        {replaced(base, "\"naming\": {", "\"naming\": [], \"x\": {"), "Expected an object at configuration.naming"},
        {"[]", "Expected an object at configuration"},
    };
    for (const auto& [json, description] : cases) EXPECT_EQ(decodeFailure(json), description) << json;

    const auto textPlusOther =
        decodeStampConfiguration(replaced(base, source, R"("source": {"text": {"_0": "a"}, "logo": 3})"));
    ASSERT_TRUE(textPlusOther) << textPlusOther.error().description();
    EXPECT_EQ(textPlusOther->watermark->source, WatermarkSource::text("a"));
}

TEST(SettingsJson, MalformedTextIsReportedAsSuch) {
    for (const std::string_view json : {"", "{", "{\"format\": }", "not json", "{\"a\": \"\xFF\"}", "{\"a\": 1e999}"}) {
        const auto result = decodeStampConfiguration(json);
        ASSERT_FALSE(result) << json;
        EXPECT_EQ(result.error().kind, SettingsCodingError::Kind::malformedJson);
        EXPECT_TRUE(result.error().description().starts_with("The text is not valid JSON \u2014 "))
            << result.error().description();
    }
}

TEST(SettingsJson, IntegersMustBeExactAndWithin64Bits) {
    StampConfiguration configuration;
    configuration.project = PhotoProject{};
    const std::string base = encoded(configuration);
    const std::pair<std::string_view, std::optional<std::int64_t>> cases[] = {
        {"7", 7}, {"7.0", 7}, {"-7e2", -700},
        {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {"9223372036854775808", std::nullopt}, {"1.5", std::nullopt}, {"1e30", std::nullopt}, {"\"1\"", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        const auto decoded =
            decodeStampConfiguration(replaced(base, "\"firstNumber\": 1", "\"firstNumber\": " + std::string(text)));
        ASSERT_EQ(decoded.has_value(), expected.has_value()) << text;
        if (expected) EXPECT_EQ(decoded->project->firstNumber, *expected);
        else EXPECT_NE(decoded.error().description().find("\u201CfirstNumber\u201D at configuration.project"),
                       std::string::npos) << decoded.error().description();
    }
    // Doubles accept integers.
    const auto whole = decodeStampConfiguration(replaced(base, "\"jpegQuality\": 0.95", "\"jpegQuality\": 1"));
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->jpegQuality, 1.0);
}

TEST(SettingsJson, OutputRootIsAFileUrl) {
    const std::string base = encoded(defaultConfiguration());
    const auto read = [&](std::string_view url) -> std::optional<std::filesystem::path> {
        const auto decoded = decodeStampConfiguration(
            replaced(base, "\"timestampEnabled\"", "\"outputRoot\": \"" + std::string(url) + "\", \"timestampEnabled\""));
        if (!decoded) return std::nullopt;
        return decoded->outputRoot;
    };
    for (const auto& [url, folder] : {std::pair{"file:///home/a/My%20Photos/", "/home/a/My Photos"},
                                      {"file:\\/\\/\\/home\\/a\\/", "/home/a"}, {"file://localhost/srv/x", "/srv/x"},
                                      {"FILE:///caf%C3%A9/", "/caf\u00E9"}, {"file:///", "/"}})
        EXPECT_EQ(read(url), std::filesystem::path(folder)) << url;
    for (const std::string_view bad : {"/home/a", "home/a", "https://example.com/a/", "file://server/a/",
                                       "file:///a b/", "file:///a/?q", "file:///a%2", "file:///a%00b", ""})
        EXPECT_EQ(read(bad), std::nullopt) << bad;

    EXPECT_EQ(decodeFailure(replaced(base, "\"timestampEnabled\"", "\"outputRoot\": \"C:\", \"timestampEnabled\"")),
              "Invalid value \u201CC:\u201D for key \u201CoutputRoot\u201D at configuration \u2014 expected a file URL "
              "of a folder");

    EXPECT_EQ(folderFileUrl("/home/a/My Photos/caf\u00E9"), "file:///home/a/My%20Photos/caf%C3%A9/");
    EXPECT_EQ(folderFileUrl("relative/folder"), std::nullopt);
}

TEST(SettingsJson, WhatCannotBeWrittenFailsToEncode) {
    StampConfiguration configuration;
    configuration.style.sizeFraction = std::nan("");
    auto result = encodeStampConfiguration(configuration);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, SettingsCodingError::Kind::nonFiniteNumber);
    EXPECT_EQ(result.error().description(),
              "The number for key \u201CsizeFraction\u201D at configuration.style is not finite and cannot be saved");

    PresetDocument document;
    document.presets.push_back({Uuid::random(), "A", withTextWatermark("x")});
    document.presets.push_back({Uuid::random(), "B", withTextWatermark("x")});
    document.presets[1].configuration.watermark->opacity = std::numeric_limits<double>::infinity();
    const auto failedDocument = encodePresetDocument(document);
    ASSERT_FALSE(failedDocument);
    EXPECT_EQ(failedDocument.error().path, "presets[1].configuration.watermark");

    configuration = withTextWatermark("broken \xC3");
    EXPECT_EQ(encodeStampConfiguration(configuration).error().kind, SettingsCodingError::Kind::invalidText);

    configuration = StampConfiguration{};
    configuration.outputRoot = "relative";
    EXPECT_EQ(encodeStampConfiguration(configuration).error().kind, SettingsCodingError::Kind::invalidValue);
}

TEST(SettingsJson, PresetDocumentsRoundTripAndReadUuidsInEitherCase) {
    PresetDocument document;
    document.version = 1;
    document.presets.push_back({*Uuid::parse("9F1C4E2A-0000-4000-A000-000000000001"), "Timestamp", {}});
    document.presets.push_back({imageUuid, "Logo \u2014 site", withTextWatermark("Site")});
    document.presets[1].configuration.watermark->source = WatermarkSource::image({imageUuid});

    const auto text = encodePresetDocument(document);
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->starts_with("{\n  \"presets\": [\n    {\n      \"configuration\": {")) << *text;
    EXPECT_NE(text->find("\"id\": \"9F1C4E2A-0000-4000-A000-000000000001\""), std::string::npos);
    EXPECT_NE(text->find("\n  \"version\": 1\n}"), std::string::npos);
    EXPECT_EQ(decodePresetDocument(*text), document);
    EXPECT_TRUE(looksLikePresetDocument(*text));
    EXPECT_FALSE(looksLikePresetDocument(encoded(defaultConfiguration())));

    const std::string lower = replaced(*text, "\"rawValue\": \"0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D\"",
                                       "\"rawValue\": \"0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d\"");
    EXPECT_EQ(decodePresetDocument(lower), document);

    const std::pair<std::string, std::string> failures[] = {
        {replaced(*text, "9F1C4E2A-0000-4000-A000-000000000001", "9F1C4E2A"),
         "Invalid value \u201C9F1C4E2A\u201D for key \u201Cid\u201D at presets[0] \u2014 expected a UUID"},
        {replaced(*text, "\"theme\": \"clean\"", "\"theme\": \"x\""),
         "Unknown value \u201Cx\u201D for key \u201Ctheme\u201D at presets[0].configuration.style"},
        {"{\"presets\": []}", "Missing key \u201Cversion\u201D at the top level"},
        {"{\"version\": 2, \"presets\": {}}", "Expected an array for key \u201Cpresets\u201D at the top level"},
    };
    for (const auto& [json, description] : failures)
        EXPECT_EQ(decodePresetDocument(json).error().description(), description) << json;
    EXPECT_EQ(decodePresetDocument("{\"version\": 2, \"presets\": []}"), PresetDocument{});

    const Preset preset = document.presets[1];
    EXPECT_EQ(decodePreset(*encodePreset(preset)), preset);
}

TEST(SettingsJson, AnyJsonTextTakesTheWrittenForm) {
    // The same text a configuration gets: re-formatting an encoding changes
    // nothing, and members keep their order.
    const std::string configuration = encoded(defaultConfiguration());
    EXPECT_EQ(formatJsonText(configuration), configuration);
    EXPECT_EQ(formatJsonText(R"({"b":[1.0,{"z":null,"a":"x/y"}],"a":{}})"),
              "{\n  \"b\": [\n    1,\n    {\n      \"z\": null,\n      \"a\": \"x\\/y\"\n    }\n  ],\n  \"a\": {}\n}");
    EXPECT_EQ(formatJsonText("{\"a\": ").error().kind, SettingsCodingError::Kind::malformedJson);
}

// A key written twice would be read as its last value without a word, and a
// NUL byte would end the text early; both are refused, naming where (the
// parser's paths are JsonParser's, a preset file's the command line's).
TEST(SettingsJson, DuplicateKeysAndNulBytesAreRefused) {
    const std::string base = encoded(withTextWatermark("Survey"));
    const std::pair<std::string, std::string> configurations[] = {
        {replaced(base, "\"timestampEnabled\": true", "\"timestampEnabled\": true, \"timestampEnabled\": false"),
         "Duplicate key \u201CtimestampEnabled\u201D at configuration"},
        {replaced(base, "\"theme\": \"clean\"", "\"theme\": \"clean\", \"theme\": \"retro\""),
         "Duplicate key \u201Ctheme\u201D at configuration.style"},
        {base + std::string("\0{\"theme\": 1}", 13),
         "The text is not valid JSON \u2014 byte " + std::to_string(base.size() + 1) +
             " is a NUL byte, which JSON does not allow"},
    };
    for (const auto& [json, description] : configurations) EXPECT_EQ(decodeFailure(json), description) << json;
    // The same key in different objects is no duplicate.
    EXPECT_EQ(decodeFailure(base), "decoded");
}
