#include <gtest/gtest.h>

#include <map>

#include <nlohmann/json.hpp>

#include "support/test_support.h"
#include "tests/cli/cli_photos.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using nlohmann::json;
using veltrop::testing::runBinary;
using veltrop::testing::TempDir;

// --keep-quality keeps a colour JPEG's blocks; a grey one is encoded anew,
// and the JSON and the photo index say which copy is which.
TEST(CliKeepQuality, ExportSaysPerCopyWhetherTheBlocksWereKept) {
    TempDir dir;
    const fs::path site = dir / "site";
    ASSERT_EQ(veltrop::testing::makePhotos({{site / "grey.jpg", {"2026:08:14 23:45:10", "", ""}},
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

    // The photo index's last column, in file-browser order.
    const auto rows = veltrop::testing::parseQuotedCsv(veltrop::testing::readFile(summary["package"]["index"].get<std::string>()));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].back(), "Lossless");
    EXPECT_EQ(rows[1].back(), "Yes");
    EXPECT_EQ(rows[2].back(), "No");

    // Without the option nothing is kept.
    const auto plain = runBinary({"export", site.string(), "--json", "--out", (dir / "plain").string()});
    ASSERT_EQ(plain.status, 0) << plain.err;
    for (const auto& result : json::parse(plain.out)["results"]) EXPECT_EQ(result["lossless"], false);
}
