#include <gtest/gtest.h>

#include "kit/dates/capture_date.h"

using namespace veltrop::dates;

TEST(CaptureDateJson, WritesSortedKeysAndReadsBack) {
    const CaptureDate date{2026, 8, 14, 6, 17, 49, CaptureDateSource::tiffDateTime};
    EXPECT_EQ(toJson(date), R"({
  "day": 14,
  "hour": 6,
  "minute": 17,
  "month": 8,
  "second": 49,
  "source": "tiffDateTime",
  "year": 2026
})");
    for (const auto source : allCaptureDateSources) {
        const CaptureDate other{1999, 12, 31, 23, 59, 60, source};
        EXPECT_EQ(captureDateFromJson(toJson(other)), other);
    }
}

TEST(CaptureDateJson, RejectsIncompleteOrImpossibleDates) {
    const std::string full = toJson({2024, 2, 29, 0, 0, 0, CaptureDateSource::fileDate});
    const auto without = [&](std::string_view line) {
        std::string text = full;
        text.erase(text.find(line), line.size());
        return text;
    };
    const std::pair<std::string, std::string> cases[] = {
        {without("  \"hour\": 0,\n"), "Missing key \u201Chour\u201D"},
        {without("  \"source\": \"fileDate\",\n"), "Missing key \u201Csource\u201D"},
        {"{\"year\":2024,\"month\":2,\"day\":30,\"hour\":0,\"minute\":0,\"second\":0,\"source\":\"fileDate\"}",
         "Invalid value \u201C30\u201D for key \u201Cday\u201D"},
        {"{\"year\":2024,\"month\":13,\"day\":1,\"hour\":0,\"minute\":0,\"second\":0,\"source\":\"fileDate\"}",
         "Invalid value \u201C13\u201D for key \u201Cmonth\u201D"},
        {"{\"year\":2024,\"month\":1.5,\"day\":1,\"hour\":0,\"minute\":0,\"second\":0,\"source\":\"fileDate\"}",
         "Expected an integer for key \u201Cmonth\u201D"},
        {"{\"year\":2024,\"month\":1,\"day\":1,\"hour\":0,\"minute\":0,\"second\":0,\"source\":\"gps\"}",
         "Unknown value \u201Cgps\u201D for key \u201Csource\u201D"},
        {"[1]", "Expected an object"},
        {"{", "The text is not valid JSON"},
    };
    for (const auto& [json, message] : cases) {
        const auto result = captureDateFromJson(json);
        ASSERT_FALSE(result) << json;
        EXPECT_EQ(result.error().description(), message) << json;
    }
    EXPECT_EQ(captureDateFromJson(full)->day, 29);
}
