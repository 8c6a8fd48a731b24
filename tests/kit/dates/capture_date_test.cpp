#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <tuple>
#include <vector>

#include "kit/dates/capture_date.h"
#include "kit/dates/exif_fields.h"
#include "kit/platform/file_times.h"
#include "support/test_support.h"

using namespace veltrop::dates;
using veltrop::testing::TempDir;

namespace {

std::string parsed(std::string_view text) {
    auto date = CaptureDateReader::parseExifText(text, CaptureDateSource::tiffDateTime);
    if (!date) return "none";
    EXPECT_EQ(date->source, CaptureDateSource::tiffDateTime);  // kept as given
    return veltrop::dates::text(*date);
}

struct ParseCase {
    std::string_view input;
    std::string_view expected;
};

}  // namespace

TEST(CaptureDateReader, ParsesExifTextAndRejectsImpossibleDates) {
    const ParseCase cases[] = {
        {"2026:08:14 06:17:49", "2026-08-14 06:17:49"},
        {"2026:08:14 06:17:49 +02:00", "2026-08-14 06:17:49"},  // trailing zone word ignored
        {"  2026:08:14  06:17:49", "2026-08-14 06:17:49"},      // empty pieces dropped
        {"2026::08:14 06:17:49", "2026-08-14 06:17:49"},        // doubled colon reads as one
        {"2026:08:14 06:17:49:05", "2026-08-14 06:17:49"},      // extra time piece ignored
        {"+2026:08:14 06:17:49", "2026-08-14 06:17:49"},
        {"2024:02:29 12:00:00", "2024-02-29 12:00:00"},
        {"2000:02:29 12:00:00", "2000-02-29 12:00:00"},
        {"2026:12:31 23:59:60", "2026-12-31 23:59:60"},         // leap second as recorded
        {"33:1:2 3:4:5", "0033-01-02 03:04:05"}, {"2026-08-14 06:17:49", "none"}, {"2026:08:14T06:17:49", "none"},
        {"2026:08:14", "none"}, {"2026:08:14:01 06:17:49", "none"}, {"2026:08:14 06:17", "none"},
        {"2023:02:29 12:00:00", "none"}, {"1900:02:29 12:00:00", "none"}, {"2026:04:31 10:00:00", "none"},
        {"2026:08:14 24:00:00", "none"}, {"2026:08:14 23:60:00", "none"}, {"2026:08:14 23:59:61", "none"},
        {"2026:13:01 00:00:00", "none"}, {"0000:00:00 00:00:00", "none"}, {"    :  :     :  :  ", "none"},
        {"2026:08:14\t06:17:49", "none"},                       // a tab is not a separator
        {"2026:08:14 06:17:49.5", "none"}, {"2026:+-8:14 06:17:49", "none"}, {"2026:8 :14 06:17:49", "none"},
        {"-2026:08:14 06:17:49", "none"},
        {"99999999999999999999:01:01 00:00:00", "none"},         // beyond 64 bits
        {"", "none"},
    };
    for (const auto& c : cases) EXPECT_EQ(parsed(c.input), c.expected) << "input: '" << c.input << "'";
}

TEST(CaptureDateReader, RecordedDateTakesTheFirstParseableStringField) {
    // An unreadable original gives way to the digitised date (checked with the
    // date audit); a date stored as a number is not a date at all.
    PropertyDictionary tiff{{"DateTime", "2020:01:01 00:00:00"}};
    PropertyDictionary numeric{{"DateTimeOriginal", 20260814.0}};
    auto fallback = CaptureDateReader::readRecordedDate({{"Exif", numeric}, {"TIFF", tiff}});
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->source, CaptureDateSource::tiffDateTime);

    // A group that is not a dictionary counts as empty.
    EXPECT_FALSE(CaptureDateReader::readRecordedDate({{"Exif", "2026:08:14 06:17:49"}}));
    EXPECT_FALSE(CaptureDateReader::readRecordedDate({}));
}

// Sets the process's time zone for one test and puts the old one back.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (saved_) setenv("TZ", saved_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

void setModificationTime(const std::filesystem::path& file, std::int64_t secondsSinceEpoch) {
    const struct timespec times[2] = {{static_cast<time_t>(secondsSinceEpoch), 0},
                                      {static_cast<time_t>(secondsSinceEpoch), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

TEST(CaptureDateReader, FileDateIsTheEarlierOfBirthAndModificationInLocalTime) {
    TempDir dir;
    const auto file = dir / "photo.jpg";
    const std::int64_t before = std::time(nullptr);
    veltrop::testing::writeFile(file, "x");
    const std::int64_t after = std::time(nullptr);
    const TimeZone zone("UTC-2");  // POSIX sign: two hours east of UTC

    // A copy keeps the camera's modification time but is born now: the older
    // modification time wins. 1786681069 is 2026-08-14 04:17:49 UTC.
    setModificationTime(file, 1786681069);
    auto date = CaptureDateReader::readFileDate(veltrop::platform::fileDates(file));
    ASSERT_TRUE(date);
    EXPECT_EQ(text(*date), "2026-08-14 06:17:49");
    EXPECT_EQ(date->source, CaptureDateSource::fileDate);

    // A modification time after the birth: the birth time (now) wins where the
    // file system keeps one, else the modification time is all there is.
    setModificationTime(file, after + 400 * 86400);
    date = CaptureDateReader::readFileDate(veltrop::platform::fileDates(file));
    ASSERT_TRUE(date);
    const auto times = veltrop::platform::fileTimes(file);
    ASSERT_TRUE(times);
    const std::int64_t expected = times->creation ? *times->creation : after + 400 * 86400;
    if (times->creation) {
        EXPECT_TRUE(*times->creation >= before && *times->creation <= after);
    }
    const time_t shifted = static_cast<time_t>(expected + 2 * 3600);  // the zone's wall clock
    struct tm local {};
    gmtime_r(&shifted, &local);
    EXPECT_EQ((std::vector<std::int64_t>{date->year, date->month, date->day, date->hour, date->minute, date->second}),
              (std::vector<std::int64_t>{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                                         local.tm_min, local.tm_sec}));

    EXPECT_FALSE(CaptureDateReader::readFileDate(veltrop::platform::fileDates(dir / "missing.jpg")));
}

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
    const auto replaced = [&](std::string_view from, std::string_view to) {
        std::string text = full;
        return text.replace(text.find(from), from.size(), to);
    };
    const std::pair<std::string, std::string> cases[] = {
        {replaced("  \"hour\": 0,\n", ""), "Missing key \u201Chour\u201D"},
        {replaced("\"day\": 29", "\"day\": 30"), "Invalid value \u201C30\u201D for key \u201Cday\u201D"},
        {replaced("\"month\": 2", "\"month\": 1.5"), "Expected an integer for key \u201Cmonth\u201D"},
        {replaced("\"fileDate\"", "\"gps\""), "Unknown value \u201Cgps\u201D for key \u201Csource\u201D"},
        {"{", "The text is not valid JSON"},
    };
    for (const auto& [json, message] : cases) {
        const auto result = captureDateFromJson(json);
        ASSERT_FALSE(result) << json;
        EXPECT_EQ(result.error().description(), message) << json;
    }
    EXPECT_EQ(captureDateFromJson(full)->day, 29);
}

TEST(ExifFields, ReadsTypedValuesAndIgnoresWrongTypes) {
    PropertyDictionary exif{{"FocalLength", 50.0},     {"FNumber", 1.8},
                            {"ExposureTime", 0.004},   {"ISOSpeedRatings", PropertyList{100, 200}},
                            {"LensModel", 35.0}};  // a number where text belongs
    PropertyDictionary aux{{"LensModel", "XF35mmF1.4 R"}};
    PropertyDictionary tiff{{"Make", "FUJIFILM"}, {"Model", PropertyList{"X-T4"}}};
    auto fields = ExifFields::fromProperties({{"Exif", exif}, {"ExifAux", aux}, {"TIFF", tiff}});
    EXPECT_EQ(fields.make, "FUJIFILM");
    EXPECT_FALSE(fields.model);
    EXPECT_EQ(fields.lens, "XF35mmF1.4 R");
    EXPECT_EQ(fields.iso, 100);
    EXPECT_EQ(fields.shutterSeconds, 0.004);

    EXPECT_FALSE(ExifFields::fromProperties({{"Exif", PropertyDictionary{{"ISOSpeedRatings", PropertyList{}}}}}).iso);
    EXPECT_EQ(ExifFields::fromProperties({{"Exif", PropertyDictionary{{"ISOSpeedRatings", 400}}}}).iso, 400);
    EXPECT_EQ(ExifFields::fromProperties({}), ExifFields{});
}

TEST(ExifFields, CameraTextAvoidsRepeatingTheBrand) {
    using Text = std::optional<std::string>;
    const std::tuple<Text, Text, Text> cases[] = {  // make, model, text
        {"Canon", "Canon EOS R5", "Canon EOS R5"}, {"Canon", "EOS R5", "Canon EOS R5"},
        {"NIKON CORPORATION", "NIKON Z 6", "NIKON Z 6"}, {"CANON", "canon eos r5", "canon eos r5"},
        {"Sony", "Sonyx 1", "Sonyx 1"}, {"  FUJIFILM ", "X-T4\n", "FUJIFILM X-T4"}, {"Apple", std::nullopt, "Apple"},
        {"Apple", "   ", "Apple"}, {std::nullopt, "iPhone 5", "iPhone 5"}, {" ", " ", std::nullopt}};
    for (const auto& [make, model, text] : cases) {
        ExifFields fields;
        fields.make = make, fields.model = model;
        EXPECT_EQ(cameraText(fields), text) << make.value_or("-") << " / " << model.value_or("-");
    }
}

TEST(ExifFields, ExposureTextAndNumberFormats) {
    const auto fields = [](std::optional<double> focal, std::optional<double> aperture, std::optional<double> shutter,
                           std::optional<std::int64_t> iso) {
        ExifFields made;
        made.focalLength = focal, made.aperture = aperture, made.shutterSeconds = shutter, made.iso = iso;
        return made;
    };
    EXPECT_EQ(exposureText(fields(50.0, 2.8, 0.004, 200)), "50mm  \u0192/2.8  1/250s  ISO 200");
    EXPECT_EQ(exposureText(fields({}, {}, {}, 100)), "ISO 100");
    EXPECT_EQ(exposureText(ExifFields{}), std::nullopt);
    EXPECT_EQ(exposureText(fields({}, 8, 0, 100)), "\u0192/8    ISO 100");  // the empty item keeps its separators

    for (const auto& [number, text] : {std::pair{4.0, "4"}, {4.2, "4.2"}, {1.0 / 3.0, "0.333333"}, {-2.0, "-2"}})
        EXPECT_EQ(numberText(number), text);
    EXPECT_FALSE(numberText(1e300).empty());
    for (const auto& [seconds, text] : {std::pair{1.0 / 8000, "1/8000s"}, {0.3, "1/3s"}, {0.7, "1/1s"}, {1.0, "1s"},
                                        {1.5, "1.5s"}, {-1.0, ""}})
        EXPECT_EQ(shutterText(seconds), text) << seconds;
    EXPECT_FALSE(shutterText(1e-300).empty());
}
