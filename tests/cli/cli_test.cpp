#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "kit/platform/png_encoder.h"
#include "kit/settings/settings_json.h"
#include "kit/storage/watermark_store.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

using namespace veltrop;
using veltrop::testing::CliRun;
using veltrop::testing::contains;
using veltrop::testing::runCli;

namespace {

std::string encoded(const settings::StampConfiguration& configuration) {
    return *settings::encodeStampConfiguration(configuration);
}

// Points the application's data folder at a temporary one for one test.
class DataFolder {
public:
    DataFolder() {
        if (const char* old = std::getenv("XDG_DATA_HOME")) saved_ = old;
        setenv("XDG_DATA_HOME", dir_.path().c_str(), 1);
    }
    ~DataFolder() {
        if (saved_) setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        else unsetenv("XDG_DATA_HOME");
    }
    DataFolder(const DataFolder&) = delete;
    DataFolder& operator=(const DataFolder&) = delete;

    // A small logo imported into the watermark store, as the application does.
    settings::WatermarkImageID importLogo() const {
        image::Bitmap logo = *image::Bitmap::allocate(8, 4);
        std::fill_n(logo.pixels.get(), logo.stride * 4, std::uint8_t{200});
        veltrop::testing::writeFile(dir_ / "logo.png", *platform::encodePng(logo));
        auto store = storage::WatermarkStore::standard();
        EXPECT_TRUE(store);
        auto id = store->importImage(dir_ / "logo.png");
        EXPECT_TRUE(id);
        return id ? *id : settings::WatermarkImageID{};
    }

private:
    veltrop::testing::TempDir dir_;
    std::optional<std::string> saved_;
};

}  // namespace

TEST(Cli, HelpAndUsageErrors) {
    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const auto* name : {"format ", "formats ", "config "}) EXPECT_TRUE(contains(help.out, name)) << name;
    EXPECT_EQ(runCli({"-h"}).out, help.out);

    const CliRun nothing = runCli({});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_TRUE(nothing.out.empty());
    EXPECT_TRUE(contains(nothing.err, "Usage: veltrop-cli COMMAND"));
    const CliRun unknown = runCli({"frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(contains(unknown.err, "unknown command \u201Cfrobnicate\u201D")) << unknown.err;
    EXPECT_EQ(runCli({"--frobnicate"}).status, 2);

    for (const std::string name : {"format", "formats", "config"}) {
        const CliRun run = runCli({name, "-h"});
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_TRUE(run.out.starts_with("Usage: veltrop-cli " + name)) << run.out;
    }
    // Help wins over an otherwise wrong line.
    EXPECT_EQ(runCli({"format", "--bogus", "--help"}).status, 0);
}

TEST(Cli, FormatPrintsThePatternOnADate) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"format", "yyyy-MM-dd HH:mm:ss"}, "2026-08-14 06:17:49\n"},
        {{"format", "h:mm a", "--date", "2024:02:29 13:05:07"}, "1:05 PM\n"},
        {{"format", "--date=2024:02:29 00:00:00", "d MMMM yy"}, "29 February 24\n"},
        {{"format", "--", "-yyyy-"}, "-2026-\n"},
        {{"format", ""}, "\n"},
        {{"format", "HH:mm", "--retro"}, "06:17\n"},
    };
    for (const auto& [arguments, expected] : cases) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 0) << arguments[1] << run.err;
        EXPECT_EQ(run.out, expected);
    }
    const CliRun retro = runCli({"format", "d MMM yyyy", "--retro"});
    EXPECT_EQ(retro.status, 1);
    EXPECT_EQ(retro.out, "14 Aug 2026\n");
    EXPECT_EQ(retro.err, "The retro display cannot show \u201CAug\u201D. Choose a numeric format.\n");
}

TEST(Cli, FormatUsageErrors) {
    const std::vector<std::string> cases[] = {
        {"format"},
        {"format", "a", "b"},
        {"format", "HH", "--date"},
        {"format", "HH", "--date", "2026/08/14 06:17:49"},
        {"format", "HH", "--date", "2026:02:30 06:17:49"},
        {"format", "HH", "--zone", "UTC"},
        {"format", "HH", "--retro=yes"},
    };
    for (const auto& arguments : cases) {
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 2) << arguments.back();
        EXPECT_TRUE(run.out.empty());
        EXPECT_TRUE(contains(run.err, "veltrop-cli format: ")) << run.err;
    }
    EXPECT_TRUE(contains(runCli({"format", "HH", "--date", "yesterday"}).err, "\u201Cyesterday\u201D"));
}

TEST(Cli, FormatsListsTheBuiltInsAndConfigDefaultPrintsTheEncoding) {
    const CliRun formats = runCli({"formats"});
    EXPECT_EQ(formats.status, 0);
    EXPECT_TRUE(formats.out.starts_with("d MMM yyyy  HH:mm:ss\t14 Aug 2026  06:17:49\n"));
    EXPECT_TRUE(formats.out.ends_with("\nh:mm a\t6:17 AM\n"));
    EXPECT_EQ(std::count(formats.out.begin(), formats.out.end(), '\n'), 8);

    const CliRun config = runCli({"config", "default"});
    EXPECT_EQ(config.status, 0);
    EXPECT_EQ(config.out, encoded(settings::defaultConfiguration()) + "\n");
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"formats", "extra"}, {"config"},
                                                {"config", "reset"}, {"config", "default", "x"}})
        EXPECT_EQ(runCli(bad).status, 2) << bad.back();
}

TEST(Cli, ConfigCheckReadsAndValidates) {
    veltrop::testing::TempDir dir;
    const auto check = [&](const std::string& name, const std::string& contents) {
        veltrop::testing::writeFile(dir / name, contents);
        return runCli({"config", "check", (dir / name).string()});
    };

    const CliRun ok = check("ok.json", encoded(settings::defaultConfiguration()));
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "OK\n");

    settings::StampConfiguration blank;
    blank.timestampEnabled = false;
    std::string missing = encoded(settings::defaultConfiguration());
    missing.replace(missing.find("\"useFileDateFallback\""), 21, "\"renamedKey\"");
    const std::pair<CliRun, std::string> failures[] = {
        {check("blank.json", encoded(blank)),
         "Turn on the timestamp or a watermark \u2014 otherwise the copies would be identical\n"},
        {check("missing.json", missing), "Missing key \u201CuseFileDateFallback\u201D at configuration"},
        {check("malformed.json", "{\"format\": "), "not valid JSON"},
        {runCli({"config", "check", (dir / "absent.json").string()}), "absent.json"},
        {runCli({"config", "check", dir.path().string()}), ""},
    };
    for (const auto& [run, text] : failures) {
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(contains(run.err, text)) << run.err;
    }
    EXPECT_EQ(runCli({"config", "check"}).status, 2);
}

TEST(Cli, ConfigCheckValidatesEveryPresetOfADocument) {
    veltrop::testing::TempDir dir;
    settings::PresetDocument document;
    document.presets.push_back({settings::Uuid::random(), "Timestamp", {}});
    settings::StampConfiguration watermark;
    watermark.timestampEnabled = false;
    watermark.watermark = settings::WatermarkConfig{};
    document.presets.push_back({settings::Uuid::random(), "Watermark", watermark});
    const auto file = (dir / "presets.json").string();
    const auto check = [&](const std::string& contents) {
        veltrop::testing::writeFile(file, contents);
        return runCli({"config", "check", file});
    };

    CliRun run = check(*settings::encodePresetDocument(document));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "\u201CWatermark\u201D: Enter watermark text or turn off the watermark\n");

    document.version = 3;
    run = check(*settings::encodePresetDocument(document));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "(format 3)")) << run.err;

    // A document is recognised by its keys even when one of them is missing.
    run = check("{\"presets\": []}");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "Missing key \u201Cversion\u201D at the top level")) << run.err;
}

TEST(Cli, ConfigCheckLooksForTheWatermarkImageInTheStore) {
    veltrop::testing::TempDir dir;
    const DataFolder data;
    settings::StampConfiguration configuration;
    configuration.watermark = settings::WatermarkConfig{};
    configuration.watermark->source = settings::WatermarkSource::image({settings::Uuid::random()});
    settings::PresetDocument document;
    document.presets.push_back({settings::Uuid::random(), "Logo", configuration});
    const auto check = [&](const std::string& name, const std::string& contents) {
        veltrop::testing::writeFile(dir / name, contents);
        return runCli({"config", "check", (dir / name).string()});
    };
    const std::string missing = "That watermark image is missing \u2014 choose another or turn off the watermark\n";

    CliRun run = check("configuration.json", encoded(configuration));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, missing);
    run = check("presets.json", *settings::encodePresetDocument(document));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "\u201CLogo\u201D: " + missing);

    configuration.watermark->source = settings::WatermarkSource::image(data.importLogo());
    document.presets[0].configuration = configuration;
    run = check("configuration.json", encoded(configuration));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "OK\n");
    run = check("presets.json", *settings::encodePresetDocument(document));
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST(Cli, StampNamesWhatIsWrongWithItsInputAndOptions) {
    veltrop::testing::TempDir dir;
    veltrop::testing::writeFile(dir / "notes.jpg", "just text");
    const std::string out = (dir / "out.jpg").string();
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string error;
    } cases[] = {
        {{(dir / "missing.jpg").string(), out}, 1, "Could not read missing.jpg\n"},
        {{(dir / "notes.jpg").string(), out}, 1, "notes.jpg is not a supported image\n"},
        {{(dir / "missing.jpg").string(), out, "--size", "0.0005"}, 2,
         "option \u201C--size\u201D takes a number from 0.01 to 0.06"},
        {{(dir / "missing.jpg").string(), out, "--size", "0.07"}, 2,
         "option \u201C--size\u201D takes a number from 0.01 to 0.06"},
        {{(dir / "missing.jpg").string(), out, "--quality", "1.5"}, 2,
         "option \u201C--quality\u201D takes a number from 0 to 1"},
        // Both ends of the range are accepted: the photo is what fails.
        {{(dir / "missing.jpg").string(), out, "--size", "0.01"}, 1, "Could not read missing.jpg\n"},
        {{(dir / "missing.jpg").string(), out, "--size", "0.06"}, 1, "Could not read missing.jpg\n"},
    };
    for (auto [arguments, status, error] : cases) {
        arguments.insert(arguments.begin(), "stamp");
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, status) << arguments[1] << " " << run.err;
        EXPECT_TRUE(contains(run.err, error)) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}
