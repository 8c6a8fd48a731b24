#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

#include "kit/dates/capture_date.h"
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
        {"2026:08:14  06:17:49", "2026-08-14 06:17:49"},        // empty pieces dropped
        {"  2026:08:14 06:17:49", "2026-08-14 06:17:49"},
        {"2026::08:14 06:17:49", "2026-08-14 06:17:49"},        // doubled colon reads as one
        {"2026:08:14 06:17:49:05", "2026-08-14 06:17:49"},      // extra time piece ignored
        {"+2026:08:14 06:17:49", "2026-08-14 06:17:49"},
        {"2024:02:29 12:00:00", "2024-02-29 12:00:00"},
        {"2000:02:29 12:00:00", "2000-02-29 12:00:00"},
        {"2026:12:31 23:59:60", "2026-12-31 23:59:60"},         // leap second as recorded
        {"33:1:2 3:4:5", "0033-01-02 03:04:05"},
        {"2026-08-14 06:17:49", "none"},
        {"2026:08:14T06:17:49", "none"},
        {"2026:08:14", "none"},
        {"2026:08:14:01 06:17:49", "none"},
        {"2026:08:14 06:17", "none"},
        {"2023:02:29 12:00:00", "none"},
        {"1900:02:29 12:00:00", "none"},
        {"2026:04:31 10:00:00", "none"},
        {"2026:08:14 24:00:00", "none"},
        {"2026:08:14 23:60:00", "none"},
        {"2026:08:14 23:59:61", "none"},
        {"2026:13:01 00:00:00", "none"},
        {"0000:00:00 00:00:00", "none"},
        {"    :  :     :  :  ", "none"},
        {"2026:08:14\t06:17:49", "none"},                       // a tab is not a separator
        {"2026:08:14 06:17:49.5", "none"},
        {"2026:+-8:14 06:17:49", "none"},
        {"2026:8 :14 06:17:49", "none"},
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
