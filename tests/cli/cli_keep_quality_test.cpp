#include <gtest/gtest.h>

#include <map>

#include <nlohmann/json.hpp>

#include "support/test_support.h"
#include "tests/cli/cli_photos.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using nlohmann::json;
using veltrop::testing::findProgram;
using veltrop::testing::runBinary;
using veltrop::testing::runProcess;
using veltrop::testing::TempDir;

// --keep-quality keeps a colour JPEG's blocks; a grey one is encoded anew,
// and the JSON and the photo index say which copy is which.
TEST(CliKeepQuality, ExportSaysPerCopyWhetherTheBlocksWereKept) {
    TempDir dir;
    const fs::path site = dir / "site";
    ASSERT_EQ(veltrop::testing::makePhoto(site / "grey.jpg", {"2026:08:14 23:45:10", "", "", "64x48"}), "");
    fs::create_directories(site);
    ASSERT_EQ(runProcess(findProgram("convert"), {"-size", "64x48", "gradient:red-blue", (site / "colour.jpg").string()})
                  .status,
              0);
    ASSERT_EQ(runProcess(findProgram("exiftool"), {"-q", "-overwrite_original", "-DateTimeOriginal=2026:08:14 23:45:10",
                                                   (site / "colour.jpg").string()})
                  .status,
              0);

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

    // The photo index's last column.
    const std::string index = veltrop::testing::readFile(summary["package"]["index"].get<std::string>());
    EXPECT_NE(index.find("\"Lossless\"\r\n"), std::string::npos);
    EXPECT_NE(index.find("\"Yes\"\r\n"), std::string::npos);
    EXPECT_NE(index.find("\"No\"\r\n"), std::string::npos);

    // Without the option nothing is kept.
    const auto plain = runBinary({"export", site.string(), "--json", "--out", (dir / "plain").string()});
    ASSERT_EQ(plain.status, 0) << plain.err;
    for (const auto& result : json::parse(plain.out)["results"]) EXPECT_EQ(result["lossless"], false);
}
