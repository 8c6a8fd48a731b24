#include <gtest/gtest.h>

#include <map>

#include <nlohmann/json.hpp>

#include "kit/dates/capture_date.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using nlohmann::json;
using veltrop::dates::CaptureDate;
using veltrop::dates::CaptureDateSource;
using namespace veltrop::testing;

namespace {

// A date object of the output, read back through the documented CaptureDate form.
std::optional<CaptureDate> dateOf(const json& value) {
    if (value.is_null()) return std::nullopt;
    auto date = veltrop::dates::captureDateFromJson(value.dump());
    EXPECT_TRUE(date) << value.dump();
    return date ? std::optional(*date) : std::nullopt;
}

}  // namespace

// SIGTERM or Ctrl-C (SIGINT) during an export: the photo in progress
// finishes, the rest are left, nothing private is left behind, and the
// summary still reaches standard output. With --json it is one object that
// accounts for every photo, stamped, skipped, failed or not processed; the
// shift of the help's example moves the resolved date across midnight, but
// the copy keeps the recorded date in its metadata.
TEST(CliExportJson, AnInterruptedExportReportsEveryPhoto) {
    TempDir dir;
    const fs::path site = dir / "site";
    // Large enough that the photos after the interrupt are still waiting.
    const fs::path big = dir / "big.jpg";
    ASSERT_EQ(makePhotos({{site / "a-undated.jpg", {}},
                          {big, {"2026:08:14 23:45:10", "NIKON CORPORATION", "NIKON D3100", "2400x1800"}}}),
              "");
    const std::string bytes = readFile(big);
    writeFile(site / "b-corrupt.jpg", bytes.substr(0, bytes.size() / 2));
    constexpr int stamped = 30;
    for (int i = 0; i < stamped; ++i) fs::copy_file(big, site / ("c-" + std::to_string(100 + i) + ".jpg"));
    const std::size_t total = stamped + 2;

    // Signalled once the first photo has been stamped (the third finished).
    ProcessOptions options;
    options.signalAfterErrorLine = "3/" + std::to_string(total);
    options.signal = SIGTERM;
    const auto terminated = runBinary({"export", site.string(), "--jobs", "1"}, options);
    EXPECT_EQ(terminated.status, 143);  // the shell's convention: 130 for Ctrl-C, 143 for SIGTERM
    EXPECT_TRUE(contains(terminated.out, "\u00b7 Cancelled\n")) << terminated.out;
    EXPECT_FALSE(contains(terminated.out, "Not processed 0")) << terminated.out;
    std::size_t written = 0;
    for (const auto& entry : fs::recursive_directory_iterator(site / "Timestamped")) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".veltrop-")) << entry.path();
        ++written;
    }
    EXPECT_GE(written, 1u);
    EXPECT_LT(written, static_cast<std::size_t>(stamped));

    options.signal = SIGINT;
    const auto run = runBinary({"export", site.string(), "--json", "--jobs", "1", "--shift", "+1h30m", "--package",
                                (dir / "handover").string(), "--project", "Bridge"},
                               options);
    EXPECT_EQ(run.status, 130) << run.err;
    const json summary = json::parse(run.out);  // standard output is the JSON alone
    EXPECT_EQ(summary["wasCancelled"], true);
    const fs::path package = dir / "handover/Veltrop - Bridge";
    EXPECT_EQ(summary["package"]["folder"], package.string());
    EXPECT_EQ(summary["package"]["index"], (package / "Photo index.csv").string());
    EXPECT_EQ(summary["package"]["contactSheet"], (package / "Contact sheet.pdf").string());
    EXPECT_EQ(summary["outputRoots"], json::array({(package / "Photos").string()}));
    EXPECT_EQ(summary["corrections"][0]["changedPhotos"], total - 1);  // the damaged photo is dated too

    const json& results = summary["results"];
    ASSERT_EQ(results.size(), total);
    for (const auto& result : results) {
        for (const char* key : {"source", "outcome", "destination", "failure", "record"})
            EXPECT_TRUE(result.contains(key)) << key;
        for (const char* key : {"sourceName", "sourcePath", "reference", "camera", "project", "location",
                                "recordedDate", "dateFields", "resolvedDate", "correction", "warnings", "error"})
            EXPECT_TRUE(result["record"].contains(key)) << key << " missing in " << result["record"].dump();
    }
    // Input order: file-browser order of the folder.
    EXPECT_EQ(results[0]["source"], (site / "a-undated.jpg").string());
    EXPECT_EQ(results[0]["outcome"], "skippedNoDate");
    EXPECT_TRUE(results[0]["destination"].is_null());
    EXPECT_TRUE(results[0]["failure"].is_null());
    EXPECT_TRUE(results[0]["record"]["recordedDate"].is_null());
    EXPECT_EQ(results[0]["record"]["warnings"], json::array({"No recorded capture date"}));

    EXPECT_EQ(results[1]["source"], (site / "b-corrupt.jpg").string());
    EXPECT_EQ(results[1]["outcome"], "failed");
    EXPECT_TRUE(results[1]["failure"].is_string() && !results[1]["failure"].get<std::string>().empty());
    EXPECT_TRUE(results[1]["destination"].is_null());

    const json& first = results[2];
    EXPECT_EQ(first["source"], (site / "c-100.jpg").string());
    EXPECT_EQ(first["outcome"], "stamped");
    EXPECT_EQ(first["destination"], (package / "Photos/c-100.jpg").string());
    const json& record = first["record"];
    EXPECT_EQ(record["sourceName"], "c-100.jpg");
    EXPECT_EQ(record["sourcePath"], "site/c-100.jpg");
    EXPECT_EQ(record["reference"], "IMG-0003");
    EXPECT_EQ(record["camera"], "NIKON D3100");
    EXPECT_EQ(record["project"], "Bridge");
    EXPECT_EQ(record["location"], "");
    const CaptureDate recorded{2026, 8, 14, 23, 45, 10, CaptureDateSource::dateTimeOriginal};
    const CaptureDate resolved{2026, 8, 15, 1, 15, 10, CaptureDateSource::dateTimeOriginal};
    EXPECT_EQ(dateOf(record["recordedDate"]), recorded);
    EXPECT_EQ(dateOf(record["resolvedDate"]), resolved);
    EXPECT_EQ(record["dateFields"], json::parse(R"([{"source": "dateTimeOriginal", "raw": "2026:08:14 23:45:10"}])"));
    EXPECT_EQ(record["correction"], "Clock adjustment +90 min");
    EXPECT_TRUE(record["error"].is_null());
    const auto copy = runProcess(findProgram("exiftool"),
                                 {"-s3", "-DateTimeOriginal", first["destination"].get<std::string>()});
    EXPECT_EQ(copy.out, "2026:08:14 23:45:10\n");

    EXPECT_EQ(parseQuotedCsv(readFile(package / "Photo index.csv")).size(), total + 1);  // every photo, listed

    // At most the photo in progress finished after the interrupt.
    const json& last = results.back();
    EXPECT_EQ(last["outcome"], "notProcessed");
    EXPECT_TRUE(last["destination"].is_null());
    EXPECT_EQ(dateOf(last["record"]["resolvedDate"]), resolved);
    std::size_t notProcessed = 0;
    for (const auto& result : results) notProcessed += result["outcome"] == "notProcessed" ? 1 : 0;
    EXPECT_GE(notProcessed, static_cast<std::size_t>(stamped - 2));
    EXPECT_EQ(summary["counts"]["notProcessed"], notProcessed);
}

// --keep-quality keeps a colour JPEG's blocks; a grey one is encoded anew,
// and the JSON and the photo index say which copy is which.
TEST(CliKeepQuality, ExportSaysPerCopyWhetherTheBlocksWereKept) {
    TempDir dir;
    const fs::path site = dir / "site";
    ASSERT_EQ(makePhotos({{site / "grey.jpg", {"2026:08:14 23:45:10", "", ""}},
                          {site / "colour.jpg", {"2026:08:14 23:45:10", "", "", "64x48", "gradient:red-blue"}}}),
              "");

    const auto run = runBinary({"export", site.string(), "--json", "--keep-quality", "--package",
                                (dir / "handover").string(), "--project", "Bridge"});
    ASSERT_EQ(run.status, 0) << run.err;
    const json summary = json::parse(run.out);
    std::map<std::string, json> bySource;
    for (const auto& result : summary["results"]) bySource[fs::path(result["source"].get<std::string>()).filename()] = result;
    ASSERT_EQ(bySource.size(), 2u);
    EXPECT_EQ(bySource["colour.jpg"]["lossless"], true);
    EXPECT_TRUE(bySource["colour.jpg"]["losslessFallback"].is_null());
    EXPECT_EQ(bySource["grey.jpg"]["lossless"], false);
    EXPECT_EQ(bySource["grey.jpg"]["losslessFallback"], "Only colour photos stored in YCbCr keep their original quality");

    // The photo index's last column (its values are HandoverReports').
    EXPECT_EQ(parseQuotedCsv(readFile(summary["package"]["index"].get<std::string>()))[0].back(), "Lossless");

    // Without the option nothing is kept.
    const auto plain = runBinary({"export", site.string(), "--json", "--out", (dir / "plain").string()});
    ASSERT_EQ(plain.status, 0) << plain.err;
    for (const auto& result : json::parse(plain.out)["results"]) EXPECT_EQ(result["lossless"], false);
}
