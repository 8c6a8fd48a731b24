#include <gtest/gtest.h>

#include "kit/settings/settings_json.h"
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

    document.presets[1].configuration.watermark->source = settings::WatermarkSource::image({settings::Uuid::random()});
    run = check(*settings::encodePresetDocument(document));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "OK\n");

    document.version = 3;
    run = check(*settings::encodePresetDocument(document));
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "(format 3)")) << run.err;

    // A document is recognised by its keys even when one of them is missing.
    run = check("{\"presets\": []}");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "Missing key \u201Cversion\u201D at the top level")) << run.err;
}
