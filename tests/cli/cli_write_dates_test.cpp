#include <gtest/gtest.h>

#include <map>

#include <nlohmann/json.hpp>

#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using nlohmann::json;
using namespace veltrop::testing;

namespace {

using Dates = std::pair<std::string, std::string>;

// The dates exiftool reads in a copy: DateTimeOriginal and CreateDate.
Dates copyDates(const fs::path& file) {
    const auto read = runProcess(findProgram("exiftool"), {"-j", "-DateTimeOriginal", "-CreateDate", file.string()});
    const json tags = json::parse(read.out)[0];
    return {tags.value("DateTimeOriginal", ""), tags.value("CreateDate", "")};
}

std::map<std::string, fs::path> copiesBySource(const json& summary) {
    std::map<std::string, fs::path> copies;
    for (const auto& result : summary["results"])
        copies[fs::path(result["source"].get<std::string>()).filename()] = result["destination"].get<std::string>();
    return copies;
}

}  // namespace

// --write-dates puts the corrected and supplied dates into the copies; the
// photo index keeps showing what the photo recorded beside what was used.
// Without it the copies keep the photo's own dates (CliExportJson).
TEST(CliWriteDates, ExportWritesCorrectedAndSuppliedDatesWhenAsked) {
    TempDir dir;
    const fs::path site = dir / "site";
    ASSERT_EQ(makePhotos({{site / "dated.jpg", {"2026:08:14 23:45:10", "Maker", "Cam"}},
                          {site / "undated.jpg", {std::nullopt, "Maker", "Cam"}}}),
              "");
    const auto run = runBinary({"export", site.string(), "--json", "--package", (dir / "handover").string(),
                                "--write-dates", "--shift", "+1h30m", "--supply",
                                "2026-08-14 06:17:49@photo=" + (site / "undated.jpg").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const json summary = json::parse(run.out);
    const auto copies = copiesBySource(summary);
    EXPECT_EQ(copyDates(copies.at("dated.jpg")), Dates("2026:08:15 01:15:10", "2026:08:15 01:15:10"));
    EXPECT_EQ(copyDates(copies.at("undated.jpg")), Dates("2026:08:14 06:17:49", "2026:08:14 06:17:49"));

    const std::string index = readFile(summary["package"]["index"].get<std::string>());
    EXPECT_NE(index.find("\"2026-08-14 23:45:10\",\"EXIF capture date\",\"2026-08-15 01:15:10\""), std::string::npos)
        << index;
    EXPECT_NE(index.find("\"Resolved date written (DateTimeOriginal, CreateDate); recorded date in this index\""),
              std::string::npos);
}

TEST(CliWriteDates, StampTakesACorrectionForItsPhoto) {
    TempDir dir;
    ASSERT_EQ(makePhotos({{dir / "in.jpg", {"2026:08:14 23:45:10", "Maker", "Cam"}}}), "");
    const auto run = runBinary({"stamp", "--shift", "-2d", "--write-dates", (dir / "in.jpg").string(),
                                (dir / "out.jpg").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(copyDates(dir / "out.jpg").first, "2026:08:12 23:45:10");

    const auto elsewhere = runBinary({"stamp", "--shift", "+1h@camera=Other", (dir / "in.jpg").string(),
                                      (dir / "other.jpg").string()});
    EXPECT_EQ(elsewhere.status, 1);
    EXPECT_FALSE(fs::exists(dir / "other.jpg"));
}
