#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using nlohmann::json;
using namespace veltrop::testing;
const auto exifText = exifDateText;

namespace {

std::string text(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_integer()) return std::to_string(value.get<std::int64_t>());
    return {};
}

// What exiftool's values say about a photo's clock, worked out here without our reader.
struct Expected {
    std::int64_t zone;
    double error;
};

std::optional<Expected> expectedClock(const json& tags) {
    if (!tags.contains("DateTimeOriginal") || !tags.contains("GPSTimeStamp")) return std::nullopt;
    const auto taken = utcSeconds(text(tags["DateTimeOriginal"]));
    const std::string gpsTime = text(tags["GPSTimeStamp"]);
    int hours = 0, minutes = 0;
    double seconds = 0;
    if (!taken || std::sscanf(gpsTime.c_str(), "%d:%d:%lf", &hours, &minutes, &seconds) != 3) return std::nullopt;
    const double secondOfDay = hours * 3600 + minutes * 60 + seconds;
    if (secondOfDay == 0) return std::nullopt;  // the placeholder 00:00:00

    double camera = static_cast<double>(*taken);
    if (tags.contains("SubSecTimeOriginal")) {
        const std::string digits = text(tags["SubSecTimeOriginal"]);
        camera += std::stod(digits) / std::pow(10.0, static_cast<double>(digits.size()));
    }
    std::optional<std::int64_t> tag;
    if (tags.contains("OffsetTimeOriginal")) {
        int h = 0, m = 0;
        const std::string offset = text(tags["OffsetTimeOriginal"]);
        if (std::sscanf(offset.c_str() + 1, "%d:%d", &h, &m) == 2)
            tag = (offset[0] == '-' ? -1 : 1) * (h * 3600 + m * 60);
    }
    double difference = 0;
    if (const auto gpsDay = utcSeconds(text(tags.value("GPSDateStamp", json())) + " 00:00:00")) {
        difference = camera - (static_cast<double>(*gpsDay) + secondOfDay);
    } else {
        // No GPS date: the day that puts the difference nearest the zone the photo suggests.
        double expected = tag ? static_cast<double>(*tag) : 0;
        if (!tag && tags.contains("GPSLongitude") && tags["GPSLongitude"].is_number())
            expected = std::round(tags["GPSLongitude"].get<double>() / 15) * 3600;
        const double midnight = std::floor(camera / 86400) * 86400;
        std::optional<double> best;
        for (int day = -1; day <= 1; ++day) {
            const double candidate = camera - (midnight + day * 86400 + secondOfDay);
            if (!best || std::abs(candidate - expected) < std::abs(*best - expected)) best = candidate;
        }
        difference = *best;
    }
    const std::int64_t zone = tag ? *tag : static_cast<std::int64_t>(std::round(difference / 900)) * 900;
    return Expected{zone, difference - static_cast<double>(zone)};
}

json clocksJson(const std::vector<std::string>& arguments) {
    std::vector<std::string> line{"clocks", "--json"};
    line.insert(line.end(), arguments.begin(), arguments.end());
    const CliRun run = runCli(line);
    EXPECT_EQ(run.status, 0) << run.err;
    return json::parse(run.out, nullptr, false);
}

// Tag writes for several files in one exiftool run: each file with its own assignments.
using TagWrites = std::vector<std::pair<fs::path, std::vector<std::string>>>;

void exiftoolWrite(const TagWrites& writes) {
    std::vector<std::string> arguments;
    for (const auto& [file, assignments] : writes) {
        arguments.insert(arguments.end(), {"-q", "-q", "-overwrite_original"});
        arguments.insert(arguments.end(), assignments.begin(), assignments.end());
        arguments.insert(arguments.end(), {file.string(), "-execute"});
    }
    const auto run = runProcess(findProgram("exiftool"), arguments);
    ASSERT_EQ(run.status, 0) << run.err;
}

}  // namespace

// Every corpus photo on its own: the zone and clock error match what exiftool's
// readings of the same tags imply, and photos without a usable GPS time are not used.
TEST(CliClocks, CorpusMatchesWhatExiftoolsValuesImply) {
    VELTROP_REQUIRE_CORPUS(corpus);
    const auto output = commandOutput(
        "exiftool -j -n -q -q -DateTimeOriginal -OffsetTimeOriginal -SubSecTimeOriginal -GPSDateStamp -GPSTimeStamp "
        "-GPSLongitude -ext jpg -ext jpeg -ext heic -ext heif " + shellQuoted(corpus) + " 2>/dev/null");
    const json listing = json::parse(output.value_or(""), nullptr, false);
    ASSERT_TRUE(listing.is_array() && !listing.empty()) << "exiftool gave no listing";
    int withGps = 0;
    for (const json& tags : listing) {
        const std::string file = tags["SourceFile"];
        const json result = clocksJson({file});
        ASSERT_TRUE(result.is_object()) << file;
        ASSERT_EQ(result["estimates"].size(), 1u) << file;
        const json& estimate = result["estimates"][0];
        const auto expected = expectedClock(tags);
        if (!expected) {
            EXPECT_EQ(estimate["used"], 0) << file;
            continue;
        }
        ++withGps;
        EXPECT_EQ(estimate["used"], 1) << file;
        EXPECT_EQ(estimate["zoneSeconds"], expected->zone) << file;
        EXPECT_NEAR(estimate["clockErrorSeconds"].get<double>(), expected->error, 0.005) << file;
    }
    EXPECT_GE(withGps, 1) << "the corpus should hold a photo with GPS time";
}

// Copies of a phone photo whose camera clock was set 7 min 13 s fast: the
// check gets the shift back, leaves out a stale fix and a placeholder, and
// export accepts the suggested --shift.
TEST(CliClocks, GeneratedBatchWithAKnownErrorGetsItsShiftBack) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    const fs::path batch = dir / "trip";
    fs::create_directories(batch);
    const std::int64_t zone = -7 * 3600, error = 7 * 60 + 13;
    const std::int64_t start = *utcSeconds("2012:09:29 23:11:25");
    TagWrites writes;
    const auto shot = [&](const std::string& name, std::int64_t utc, std::int64_t fix, const std::string& gpsTime) {
        fs::copy_file(corpus / "Apple iPhone 5.jpg", batch / name);
        writes.push_back({batch / name, {"-DateTimeOriginal=" + exifText(utc + zone + error),
                                         "-GPSDateStamp=" + exifText(fix).substr(0, 10), "-GPSTimeStamp=" + gpsTime}});
    };
    for (std::int64_t i = 0, utc = start; i < 6; ++i, utc += 211)
        shot("shot" + std::to_string(i) + ".jpg", utc, utc, exifText(utc).substr(11) + ".4");
    // The last fix written again 50 s later, and a placeholder time.
    const std::int64_t lastFix = start + 211 * 5;
    shot("stale.jpg", lastFix + 50, lastFix, exifText(lastFix).substr(11) + ".4");
    shot("nofix.jpg", start, start, "00:00:00");
    exiftoolWrite(writes);

    const json result = clocksJson({batch.string()});
    ASSERT_EQ(result["estimates"].size(), 1u);
    const json& estimate = result["estimates"][0];
    EXPECT_EQ(estimate["camera"], "Apple iPhone 5");
    EXPECT_EQ(estimate["zoneSeconds"], zone);
    EXPECT_EQ(estimate["used"], 6);
    EXPECT_EQ(estimate["lagging"], 1);
    EXPECT_EQ(estimate["placeholders"], 1);
    ASSERT_EQ(result["proposals"].size(), 1u);
    const json& proposal = result["proposals"][0];
    EXPECT_NEAR(proposal["offsetSeconds"].get<double>(), -static_cast<double>(error), 2);
    EXPECT_EQ(proposal["shift"], "-7m13s@camera=Apple iPhone 5");

    // The table names the shift, quoted ready to paste into export or review.
    const CliRun table = runCli({"clocks", batch.string()});
    EXPECT_TRUE(contains(table.out, "--shift '-7m13s@camera=Apple iPhone 5'")) << table.out;
    EXPECT_TRUE(contains(table.out, "UTC\u221207:00")) << table.out;

    // review shows the same suggestion under its table.
    const CliRun review = runCli({"review", batch.string()});
    EXPECT_EQ(review.status, 0) << review.err;
    EXPECT_TRUE(contains(review.out, "--shift '-7m13s@camera=Apple iPhone 5'")) << review.out;
}

// The file-time evidence reaches the user as the sync shot's does; it is
// ClockSuggestionsView's and ClockCheck's.
TEST(CliClocks, SyncShotAndItsMistakes) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    fs::create_directories(dir / "a");
    fs::create_directories(dir / "b");
    fs::copy_file(corpus / "Nikon D90.jpg", dir / "a" / "nikon.jpg");        // 2011:04:25 01:55:30
    fs::copy_file(corpus / "Canon EOS 1000D.jpg", dir / "b" / "canon.jpg");  // 2008:07:01 17:27:03.02
    exiftoolWrite({{dir / "b" / "canon.jpg", {"-DateTimeOriginal=2011:04:25 01:53:10", "-SubSecTimeOriginal=00"}}});

    const json result = clocksJson(
        {dir.path().string(), "--sync", (dir / "a" / "nikon.jpg").string() + "=" + (dir / "b" / "canon.jpg").string()});
    ASSERT_EQ(result["proposals"].size(), 1u) << result.dump(2);
    EXPECT_EQ(result["proposals"][0]["basis"], "syncShot");
    EXPECT_EQ(result["proposals"][0]["shift"], "+2m20s@camera=Canon EOS 1000D");

    const CliRun missing = runCli({"clocks", (dir / "a").string(), "--sync", "x.jpg=y.jpg"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "x.jpg is not among the photos being checked.\n");
    EXPECT_EQ(runCli({"clocks", (dir / "a").string(), "--sync", "nope"}).status, 2);
    EXPECT_EQ(runCli({"clocks", (dir / "empty").string()}).status, 1);
}
