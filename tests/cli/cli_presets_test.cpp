#include <gtest/gtest.h>

#include <cstdlib>

#include "kit/settings/settings_json.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using veltrop::testing::TempDir;

namespace {

veltrop::testing::CliRun cli(const std::vector<std::string>& arguments) { return veltrop::testing::runCli(arguments); }

// Points the presets file at a temporary data folder for one test.
class PresetsFolder {
public:
    PresetsFolder() {
        const char* old = std::getenv("XDG_DATA_HOME");
        saved_ = old ? std::optional<std::string>(old) : std::nullopt;
        setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
    }
    ~PresetsFolder() {
        if (saved_) setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        else unsetenv("XDG_DATA_HOME");
    }
    fs::path presetsFile() const { return dir_ / "Veltrop/presets.json"; }
    const TempDir& dir() const { return dir_; }

private:
    TempDir dir_;
    std::optional<std::string> saved_;
};

}  // namespace

TEST(CliPresets, ListsBuiltInsWithoutWritingAndImportsCopies) {
    PresetsFolder folder;
    auto listed = cli({"presets", "list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out,
              "Timestamp\t9F1C4E2A-0000-4000-A000-000000000001\nWatermark\t9F1C4E2A-0000-4000-A000-000000000002\n");
    EXPECT_FALSE(fs::exists(folder.presetsFile()));

    const fs::path exported = folder.dir() / "timestamp.json";
    ASSERT_EQ(cli({"presets", "export", "timestamp", exported.string()}).status, 0);  // names ignore case
    EXPECT_EQ(cli({"presets", "export", "Timestamp", exported.string()}).status, 1);  // never replaces
    auto imported = cli({"presets", "import", exported.string(), "--name", "  Site survey "});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_TRUE(imported.out.starts_with("Site survey\t"));

    auto after = cli({"presets", "list"});
    EXPECT_NE(after.out.find("Timestamp\t"), std::string::npos);
    EXPECT_NE(after.out.find("Site survey\t"), std::string::npos);
    auto shown = cli({"presets", "show", "Site survey"});
    ASSERT_EQ(shown.status, 0);
    auto preset = veltrop::settings::decodePreset(shown.out);
    ASSERT_TRUE(preset);
    EXPECT_EQ(preset->configuration, veltrop::settings::StampConfiguration{});
    EXPECT_NE(preset->id.text(), "9F1C4E2A-0000-4000-A000-000000000001");

    EXPECT_EQ(cli({"presets", "show", "Nope"}).status, 1);
    EXPECT_EQ(cli({"presets", "rename"}).status, 2);
}

TEST(CliPresets, AnUnusableFileIsReportedAndNeverRewritten) {
    PresetsFolder folder;
    const std::string newer = R"({"version": 3, "presets": []})";
    veltrop::testing::writeFile(folder.presetsFile(), newer);
    auto listed = cli({"presets", "list"});
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.err, "Your presets were written by a newer version of Veltrop (format 3)\n");
    EXPECT_NE(listed.out.find("Watermark\t"), std::string::npos);

    const fs::path exported = folder.dir() / "w.json";
    ASSERT_EQ(cli({"presets", "export", "Watermark", exported.string()}).status, 0);
    EXPECT_EQ(cli({"presets", "import", exported.string()}).status, 1);
    EXPECT_EQ(veltrop::testing::readFile(folder.presetsFile()), newer);

    // A built-in still starts an export even then.
    EXPECT_EQ(cli({"stamp", "--preset", "Watermark", "in.jpg", "out.jpg", "--watermark-text", "ACME"}).status, 1);
}
