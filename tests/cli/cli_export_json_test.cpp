#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "kit/dates/capture_date.h"
#include "support/test_support.h"
#include "tests/cli/cli_photos.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using nlohmann::json;
using veltrop::dates::CaptureDate;
using veltrop::dates::CaptureDateSource;
using veltrop::testing::makePhoto;
using veltrop::testing::ProcessOptions;
using veltrop::testing::runBinary;
using veltrop::testing::TempDir;

namespace {

// A date object of the output, read back through the documented CaptureDate form.
std::optional<CaptureDate> dateOf(const json& value) {
    if (value.is_null()) return std::nullopt;
    auto date = veltrop::dates::captureDateFromJson(value.dump());
    EXPECT_TRUE(date) << value.dump();
    return date ? std::optional(*date) : std::nullopt;
}

void expectRecordFields(const json& record) {
    for (const char* key : {"sourceName", "sourcePath", "reference", "camera", "project", "location", "recordedDate",
                            "dateFields", "resolvedDate", "correction", "warnings", "error"})
        EXPECT_TRUE(record.contains(key)) << key << " missing in " << record.dump();
}

}  // namespace

// Stamped, skipped, failed and, after Ctrl-C, unprocessed photos all come
// back in one JSON object on standard output, with every field.
TEST(CliExportJson, AnInterruptedPackageExportReportsEveryPhoto) {
    TempDir dir;
    const fs::path site = dir / "site";
    // Large enough that the photos after the interrupt are still waiting.
    const fs::path big = dir / "big.jpg";
    ASSERT_EQ(veltrop::testing::makePhotos({{site / "a-undated.jpg", {}},
                                            {big, {"2026:08:14 23:45:10", "NIKON CORPORATION", "NIKON D3100", "2400x1800"}}}),
              "");
    const std::string bytes = veltrop::testing::readFile(big);
    veltrop::testing::writeFile(site / "b-corrupt.jpg", bytes.substr(0, bytes.size() / 2));
    constexpr int stamped = 30;
    for (int i = 0; i < stamped; ++i) fs::copy_file(big, site / ("c-" + std::to_string(100 + i) + ".jpg"));
    const int total = stamped + 2;

    // Interrupt once the first photo has been stamped (the third finished).
    ProcessOptions options;
    options.signalAfterErrorLine = "3/" + std::to_string(total);
    const auto run = runBinary({"export", site.string(), "--json", "--jobs", "1", "--package",
                                (dir / "handover").string(), "--project", "Bridge"},
                               options);
    EXPECT_EQ(run.status, 130) << run.err;
    const json summary = json::parse(run.out);  // standard output is the JSON alone

    EXPECT_EQ(summary["wasCancelled"], true);
    const fs::path package = dir / "handover/Veltrop - Bridge";
    EXPECT_EQ(summary["package"]["folder"], package.string());
    EXPECT_EQ(summary["package"]["index"], (package / "Photo index.csv").string());
    EXPECT_EQ(summary["package"]["contactSheet"], (package / "Contact sheet.pdf").string());
    EXPECT_TRUE(fs::exists(package / "Photo index.csv"));
    EXPECT_EQ(summary["outputRoots"], json::array({(package / "Photos").string()}));

    const json& results = summary["results"];
    ASSERT_EQ(results.size(), static_cast<std::size_t>(total));
    for (const auto& result : results) {
        for (const char* key : {"source", "outcome", "destination", "failure", "record"})
            EXPECT_TRUE(result.contains(key)) << key;
        expectRecordFields(result["record"]);
    }
    // Input order: file-browser order of the folder.
    EXPECT_EQ(results[0]["source"], (site / "a-undated.jpg").string());
    EXPECT_EQ(results[1]["source"], (site / "b-corrupt.jpg").string());
    EXPECT_EQ(results[2]["source"], (site / "c-100.jpg").string());

    EXPECT_EQ(results[0]["outcome"], "skippedNoDate");
    EXPECT_TRUE(results[0]["destination"].is_null());
    EXPECT_TRUE(results[0]["failure"].is_null());
    EXPECT_TRUE(results[0]["record"]["recordedDate"].is_null());
    EXPECT_EQ(results[0]["record"]["warnings"], json::array({"No recorded capture date"}));

    EXPECT_EQ(results[1]["outcome"], "failed");
    EXPECT_TRUE(results[1]["failure"].is_string() && !results[1]["failure"].get<std::string>().empty());
    EXPECT_TRUE(results[1]["destination"].is_null());

    const json& first = results[2];
    EXPECT_EQ(first["outcome"], "stamped");
    EXPECT_EQ(first["destination"], (package / "Photos/c-100.jpg").string());
    EXPECT_TRUE(fs::exists(first["destination"].get<std::string>()));
    const json& record = first["record"];
    EXPECT_EQ(record["sourceName"], "c-100.jpg");
    EXPECT_EQ(record["sourcePath"], "site/c-100.jpg");
    EXPECT_EQ(record["reference"], "IMG-0003");
    EXPECT_EQ(record["camera"], "NIKON D3100");
    EXPECT_EQ(record["project"], "Bridge");
    EXPECT_EQ(record["location"], "");
    const CaptureDate recorded{2026, 8, 14, 23, 45, 10, CaptureDateSource::dateTimeOriginal};
    EXPECT_EQ(dateOf(record["recordedDate"]), recorded);
    EXPECT_EQ(dateOf(record["resolvedDate"]), recorded);
    EXPECT_EQ(record["dateFields"], json::parse(R"([{"source": "dateTimeOriginal", "raw": "2026:08:14 23:45:10"}])"));
    EXPECT_EQ(record["correction"], "");
    EXPECT_TRUE(record["error"].is_null());

    // At most the photo in progress finished after the interrupt.
    const json& last = results.back();
    EXPECT_EQ(last["outcome"], "notProcessed");
    EXPECT_TRUE(last["destination"].is_null());
    EXPECT_EQ(dateOf(last["record"]["resolvedDate"]), recorded);
    std::size_t notProcessed = 0;
    for (const auto& result : results) notProcessed += result["outcome"] == "notProcessed" ? 1 : 0;
    EXPECT_GE(notProcessed, static_cast<std::size_t>(stamped - 2));
    EXPECT_EQ(summary["counts"]["notProcessed"], notProcessed);
}

// The clock shift the help and the README show, end to end: the index and
// the JSON record carry the recorded date plus 1:30, across midnight; the
// copy keeps the recorded date in its metadata.
TEST(CliExportJson, ShiftOfAnHourAndAHalfMovesTheResolvedDate) {
    TempDir dir;
    ASSERT_EQ(makePhoto(dir / "site/p.jpg", {"2026:08:14 23:45:10", "NIKON CORPORATION", "NIKON D3100"}), "");
    const auto run = runBinary({"export", (dir / "site").string(), "--shift", "+1h30m", "--json", "-q", "--package",
                                (dir / "out").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const json summary = json::parse(run.out);
    const json& record = summary["results"][0]["record"];
    EXPECT_EQ(dateOf(record["resolvedDate"]), (CaptureDate{2026, 8, 15, 1, 15, 10, CaptureDateSource::dateTimeOriginal}));
    EXPECT_EQ(record["correction"], "Clock adjustment +90 min");
    EXPECT_EQ(summary["corrections"][0]["changedPhotos"], 1);

    const auto rows = veltrop::testing::parseCsv(
        veltrop::testing::readFile(summary["package"]["index"].get<std::string>()));
    ASSERT_EQ(rows.size(), 2u);
    const auto column = std::ranges::find(rows[0], "Resolved date") - rows[0].begin();
    EXPECT_EQ(rows[1][static_cast<std::size_t>(column)], "2026-08-15 01:15:10");

    const auto exiftool = veltrop::testing::findProgram("exiftool");
    const auto copy = veltrop::testing::runProcess(
        exiftool, {"-s3", "-DateTimeOriginal", summary["results"][0]["destination"].get<std::string>()});
    EXPECT_EQ(copy.out, "2026:08:14 23:45:10\n");
}
