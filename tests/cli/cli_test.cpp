#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "kit/platform/png_encoder.h"
#include "kit/settings/settings_json.h"
#include "kit/storage/watermark_store.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using namespace veltrop;
using namespace veltrop::testing;

namespace {

std::string encoded(const settings::StampConfiguration& configuration) {
    return *settings::encodeStampConfiguration(configuration);
}

// A small logo imported into the watermark store, as the application does.
settings::WatermarkImageID importLogo(const DataHome& data) {
    image::Bitmap logo = *image::Bitmap::allocate(8, 4);
    std::fill_n(logo.pixels.get(), logo.stride * 4, std::uint8_t{200});
    writeFile(data.dir() / "logo.png", *platform::encodePng(logo));
    auto id = storage::WatermarkStore::standard()->importImage(data.dir() / "logo.png");
    EXPECT_TRUE(id);
    return id ? *id : settings::WatermarkImageID{};
}

}  // namespace

TEST(Cli, HelpAndUsageErrors) {
    const CliRun overview = runCli({"--help"});
    EXPECT_EQ(overview.status, 0);
    EXPECT_TRUE(overview.out.starts_with("Usage: veltrop-cli COMMAND [OPTIONS]\n")) << overview.out;
    EXPECT_EQ(runCli({"-h"}).out, overview.out);
    EXPECT_EQ(runCli({"--version"}).out, std::string("veltrop-cli ") + VELTROP_VERSION + "\n");

    const CliRun nothing = runCli({});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_TRUE(nothing.out.empty());
    EXPECT_TRUE(contains(nothing.err, "Usage: veltrop-cli COMMAND"));
    const CliRun unknown = runCli({"frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(contains(unknown.err, "unknown command \u201Cfrobnicate\u201D")) << unknown.err;
    EXPECT_EQ(runCli({"--frobnicate"}).status, 2);
    // Help wins over an otherwise wrong line.
    EXPECT_EQ(runCli({"format", "--bogus", "--help"}).status, 0);

    for (const std::string command : {"export", "review", "stamp", "inspect", "format", "formats", "config", "presets"}) {
        // The overview lists it with a summary that starts with a capital letter.
        const auto listed = overview.out.find("\n  " + command + " ");
        ASSERT_NE(listed, std::string::npos) << command;
        const auto summary = overview.out.find_first_not_of(' ', listed + 3 + command.size());
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(overview.out[summary]))) << command;

        const CliRun help = runCli({command, "-h"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.err, "");
        EXPECT_TRUE(help.out.starts_with("Usage: veltrop-cli " + command)) << help.out;
        EXPECT_TRUE(contains(help.out, "\n  -h, --help ")) << command;
        if (command == "export" || command == "review") {
            EXPECT_TRUE(contains(help.out, "\n\nExamples:\n  veltrop-cli " + command + " ")) << command;
            EXPECT_TRUE(contains(help.out, "\n\nExit status:\n")) << command;
        }
    }
}

TEST(Cli, FormatPrintsThePatternOnADateOrNamesTheFault) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"format", "yyyy-MM-dd HH:mm:ss"}, "2026-08-14 06:17:49\n"},
        {{"format", "h:mm a", "--date", "2024:02:29 13:05:07"}, "1:05 PM\n"},
        {{"format", "--date=2024:02:29 00:00:00", "d MMMM yy"}, "29 February 24\n"},
        {{"format", "--", "-yyyy-"}, "-2026-\n"},
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

    const std::vector<std::string> wrong[] = {
        {"format"}, {"format", "a", "b"}, {"format", "HH", "--date"},
        {"format", "HH", "--date", "2026/08/14 06:17:49"}, {"format", "HH", "--zone", "UTC"},
        {"format", "HH", "--retro=yes"},
    };
    for (const auto& arguments : wrong) {
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
                                                {"config", "reset"}, {"config", "default", "x"}, {"config", "check"}})
        EXPECT_EQ(runCli(bad).status, 2) << bad.back();
}

// A configuration or a presets document, each preset of it, and the
// watermark image it names in the store.
TEST(Cli, ConfigCheckReadsAndValidates) {
    const DataHome data;
    const auto check = [&](const std::string& contents) {
        writeFile(data.dir() / "checked.json", contents);
        return runCli({"config", "check", (data.dir() / "checked.json").string()});
    };
    const CliRun ok = check(encoded(settings::defaultConfiguration()));
    EXPECT_EQ(ok.status, 0);
    EXPECT_EQ(ok.out, "OK\n");

    // What a decoder finds wrong in a text is SettingsJson's; here that each reaches the exit status.
    settings::StampConfiguration blank;
    blank.timestampEnabled = false;
    settings::StampConfiguration logo;
    logo.watermark = settings::WatermarkConfig{};
    logo.watermark->source = settings::WatermarkSource::image({settings::Uuid::random()});
    settings::PresetDocument logos;
    logos.presets.push_back({settings::Uuid::random(), "Logo", logo});
    const std::string noImage = "That watermark image is missing \u2014 choose another or turn off the watermark\n";

    const std::pair<CliRun, std::string> failures[] = {
        {check(encoded(blank)), "Turn on the timestamp or a watermark \u2014 otherwise the copies would be identical\n"},
        {check("{\"format\": "), "not valid JSON"},
        {runCli({"config", "check", (data.dir() / "absent.json").string()}), "absent.json"},
        {check(encoded(logo)), noImage},
        {check(*settings::encodePresetDocument(logos)), "\u201CLogo\u201D: " + noImage},
    };
    for (const auto& [run, text] : failures) {
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(contains(run.err, text)) << run.err;
    }

    logo.watermark->source = settings::WatermarkSource::image(importLogo(data));
    logos.presets[0].configuration = logo;
    EXPECT_EQ(check(encoded(logo)).status, 0);
    const CliRun checked = check(*settings::encodePresetDocument(logos));
    EXPECT_EQ(checked.status, 0) << checked.err;
    EXPECT_EQ(checked.out, "OK\n");
}

TEST(Cli, StampNamesWhatIsWrongWithItsInputAndOptions) {
    TempDir dir;
    writeFile(dir / "notes.jpg", "just text");
    const std::string missing = (dir / "missing.jpg").string(), out = (dir / "out.jpg").string();
    const struct {
        std::vector<std::string> arguments;
        int status;
        std::string error;
    } cases[] = {
        {{missing, out}, 1, "Could not read missing.jpg\n"},
        {{(dir / "notes.jpg").string(), out}, 1, "notes.jpg is not a supported image\n"},
        {{missing, out, "--size", "0.0005"}, 2, "option \u201C--size\u201D takes a number from 0.01 to 0.06"},
        {{missing, out, "--quality", "1.5"}, 2, "option \u201C--quality\u201D takes a number from 0 to 1"},
        // Both ends of the range are accepted: the photo is what fails.
        {{missing, out, "--size", "0.01"}, 1, "Could not read missing.jpg\n"},
        {{missing, out, "--size", "0.06"}, 1, "Could not read missing.jpg\n"},
        // Only JPEG names are written.
        {{missing, (dir / "out.png").string()}, 2, "ending in .jpg or .jpeg"},
        {{missing, (dir / "out.JPEG").string()}, 1, "Could not read missing.jpg\n"},
    };
    for (auto [arguments, status, error] : cases) {
        arguments.insert(arguments.begin(), "stamp");
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, status) << arguments[1] << " " << run.err;
        EXPECT_TRUE(contains(run.err, error)) << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    EXPECT_EQ(readFile(dir / "notes.jpg"), "just text");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

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
    writeFile(folder.presetsFile(), *veltrop::settings::encodePresetDocument(document));
    const auto shown = runCli({"presets", "show", "Bridge"});
    EXPECT_EQ(shown.status, 1);
    EXPECT_EQ(shown.out, "");
    EXPECT_EQ(shown.err, "More than one preset is called \u201CBridge\u201D; name one by its id:\n  " +
                             document.presets[0].id.text() + "  Bridge\n  " + document.presets[1].id.text() +
                             "  Bridge\n");
    EXPECT_EQ(runCli({"presets", "show", document.presets[1].id.text()}).status, 0);
    const auto stamped = runCli({"stamp", "--preset", "bridge", "in.jpg", (folder.dir() / "out.jpg").string()});
    EXPECT_EQ(stamped.status, 2);
    EXPECT_TRUE(contains(stamped.err, "More than one preset is called")) << stamped.err;
}

TEST(CliPresets, AnUnusableFileIsReportedAndNeverRewritten) {
    DataHome folder;
    const std::string newer = R"({"version": 3, "presets": []})";
    writeFile(folder.presetsFile(), newer);
    auto listed = runCli({"presets", "list"});
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(listed.err, "Your presets were written by a newer version of Veltrop (format 3)\n");
    EXPECT_NE(listed.out.find("Watermark\t"), std::string::npos);

    const fs::path exported = folder.dir() / "w.json";
    ASSERT_EQ(runCli({"presets", "export", "Watermark", exported.string()}).status, 0);
    EXPECT_EQ(runCli({"presets", "import", exported.string()}).status, 1);
    EXPECT_EQ(readFile(folder.presetsFile()), newer);

    // A built-in still starts an export even then.
    EXPECT_EQ(runCli({"stamp", "--preset", "Watermark", "in.jpg", "out.jpg", "--watermark-text", "ACME"}).status, 1);
}
