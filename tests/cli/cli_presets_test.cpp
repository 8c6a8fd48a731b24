#include <gtest/gtest.h>

#include "kit/settings/settings_json.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using veltrop::testing::DataHome;
using veltrop::testing::runCli;

TEST(CliPresets, ListsBuiltInsWithoutWritingAndImportsCopiesUnderUniqueNames) {
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
    EXPECT_EQ(imported.err, "");
    auto again = runCli({"presets", "import", exported.string(), "--name", "site survey"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_TRUE(again.out.starts_with("site survey 2\t")) << again.out;
    EXPECT_EQ(again.err, "A preset is already called \u201Csite survey\u201D; the import is called \u201Csite survey 2\u201D.\n");

    auto after = runCli({"presets", "list"});
    EXPECT_NE(after.out.find("Timestamp\t"), std::string::npos);
    EXPECT_NE(after.out.find("Site survey\t"), std::string::npos);
    auto shown = runCli({"presets", "show", "Site survey 2"});
    ASSERT_EQ(shown.status, 0);
    auto preset = veltrop::settings::decodePreset(shown.out);
    ASSERT_TRUE(preset);
    EXPECT_EQ(preset->configuration, veltrop::settings::StampConfiguration{});
    EXPECT_NE(preset->id.text(), "9F1C4E2A-0000-4000-A000-000000000001");

    EXPECT_EQ(runCli({"presets", "show", "Nope"}).status, 1);
    EXPECT_EQ(runCli({"presets", "rename"}).status, 2);
}

// A file written elsewhere may still hold two presets of one name: neither is guessed.
TEST(CliPresets, ASharedNameIsRefusedAndTheIdsAreListed) {
    DataHome folder;
    veltrop::settings::PresetDocument document;
    document.presets.push_back({veltrop::settings::Uuid::random(), "Bridge", {}});
    document.presets.push_back({veltrop::settings::Uuid::random(), "Bridge", {}});
    veltrop::testing::writeFile(folder.presetsFile(), *veltrop::settings::encodePresetDocument(document));
    const auto shown = runCli({"presets", "show", "Bridge"});
    EXPECT_EQ(shown.status, 1);
    EXPECT_EQ(shown.out, "");
    EXPECT_EQ(shown.err, "More than one preset is called \u201CBridge\u201D; name one by its id:\n  " +
                             document.presets[0].id.text() + "  Bridge\n  " + document.presets[1].id.text() +
                             "  Bridge\n");
    EXPECT_EQ(runCli({"presets", "show", document.presets[1].id.text()}).status, 0);
    const auto stamped = runCli({"stamp", "--preset", "bridge", "in.jpg", (folder.dir() / "out.jpg").string()});
    EXPECT_EQ(stamped.status, 2);
    EXPECT_TRUE(veltrop::testing::contains(stamped.err, "More than one preset is called")) << stamped.err;
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
