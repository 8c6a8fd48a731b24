#include <gtest/gtest.h>

#include "kit/settings/settings_json.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using veltrop::testing::DataHome;
using veltrop::testing::runCli;

TEST(CliPresets, ListsBuiltInsWithoutWritingAndImportsCopies) {
    DataHome folder;
    auto listed = runCli({"presets", "list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out,
              "Timestamp\t9F1C4E2A-0000-4000-A000-000000000001\nWatermark\t9F1C4E2A-0000-4000-A000-000000000002\n");
    EXPECT_FALSE(fs::exists(folder.presetsFile()));

    const fs::path exported = folder.dir() / "timestamp.json";
    ASSERT_EQ(runCli({"presets", "export", "timestamp", exported.string()}).status, 0);  // names ignore case
    EXPECT_EQ(runCli({"presets", "export", "Timestamp", exported.string()}).status, 1);  // never replaces
    auto imported = runCli({"presets", "import", exported.string(), "--name", "  Site survey "});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_TRUE(imported.out.starts_with("Site survey\t"));

    auto after = runCli({"presets", "list"});
    EXPECT_NE(after.out.find("Timestamp\t"), std::string::npos);
    EXPECT_NE(after.out.find("Site survey\t"), std::string::npos);
    auto shown = runCli({"presets", "show", "Site survey"});
    ASSERT_EQ(shown.status, 0);
    auto preset = veltrop::settings::decodePreset(shown.out);
    ASSERT_TRUE(preset);
    EXPECT_EQ(preset->configuration, veltrop::settings::StampConfiguration{});
    EXPECT_NE(preset->id.text(), "9F1C4E2A-0000-4000-A000-000000000001");

    EXPECT_EQ(runCli({"presets", "show", "Nope"}).status, 1);
    EXPECT_EQ(runCli({"presets", "rename"}).status, 2);
}

TEST(CliPresets, AnUnusableFileIsReportedAndNeverRewritten) {
    DataHome folder;
    const std::string newer = R"({"version": 3, "presets": []})";
    veltrop::testing::writeFile(folder.presetsFile(), newer);
    auto listed = runCli({"presets", "list"});
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.err, "Your presets were written by a newer version of Veltrop (format 3)\n");
    EXPECT_NE(listed.out.find("Watermark\t"), std::string::npos);

    const fs::path exported = folder.dir() / "w.json";
    ASSERT_EQ(runCli({"presets", "export", "Watermark", exported.string()}).status, 0);
    EXPECT_EQ(runCli({"presets", "import", exported.string()}).status, 1);
    EXPECT_EQ(veltrop::testing::readFile(folder.presetsFile()), newer);

    // A built-in still starts an export even then.
    EXPECT_EQ(runCli({"stamp", "--preset", "Watermark", "in.jpg", "out.jpg", "--watermark-text", "ACME"}).status, 1);
}
