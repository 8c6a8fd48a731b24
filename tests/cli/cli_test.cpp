#include "cli/cli.h"

#include <gtest/gtest.h>

#include <sstream>

#include "kit/settings/settings_json.h"
#include "support/test_support.h"

using namespace veltrop;

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun runCli(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    const int status = cli::run(arguments, out, err);
    return {status, out.str(), err.str()};
}

bool contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

std::string encoded(const settings::StampConfiguration& configuration) {
    return *settings::encodeStampConfiguration(configuration);
}

}  // namespace

TEST(Cli, TopLevelHelpAndUsageErrors) {
    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const auto* name : {"format ", "formats ", "config "}) EXPECT_TRUE(contains(help.out, name)) << name;
    EXPECT_EQ(runCli({"-h"}).out, help.out);

    const CliRun nothing = runCli({});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_TRUE(nothing.out.empty());
    EXPECT_TRUE(contains(nothing.err, "usage: veltrop-cli COMMAND"));

    const CliRun unknown = runCli({"frobnicate"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(contains(unknown.err, "unknown command \u201Cfrobnicate\u201D")) << unknown.err;
    EXPECT_EQ(runCli({"--frobnicate"}).status, 2);
}

TEST(Cli, EveryCommandHasHelp) {
    for (const std::string name : {"format", "formats", "config"}) {
        for (const std::string flag : {"--help", "-h"}) {
            const CliRun run = runCli({name, flag});
            EXPECT_EQ(run.status, 0) << name;
            EXPECT_TRUE(run.out.starts_with("usage: veltrop-cli " + name)) << run.out;
            EXPECT_TRUE(run.err.empty());
        }
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
}

TEST(Cli, FormatRetroNamesWhatCannotBeShown) {
    const CliRun run = runCli({"format", "d MMM yyyy", "--retro"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "14 Aug 2026\n");
    EXPECT_EQ(run.err, "The retro display cannot show \u201CAug\u201D. Choose a numeric format.\n");
}

TEST(Cli, FormatUsageErrors) {
    const std::vector<std::string> cases[] = {
        {"format"},
        {"format", "a", "b"},
        {"format", "HH", "--date"},
        {"format", "HH", "--date", "2026-08-14 06:17:49"},
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

TEST(Cli, FormatsListsTheBuiltIns) {
    const CliRun run = runCli({"formats"});
    EXPECT_EQ(run.status, 0);
    std::istringstream lines(run.out);
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);) all.push_back(line);
    ASSERT_EQ(all.size(), 8u);
    EXPECT_EQ(all.front(), "d MMM yyyy  HH:mm:ss\t14 Aug 2026  06:17:49");
    EXPECT_EQ(all.back(), "h:mm a\t6:17 AM");
    EXPECT_EQ(runCli({"formats", "extra"}).status, 2);
}

TEST(Cli, ConfigDefaultPrintsTheEncoding) {
    const CliRun run = runCli({"config", "default"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, encoded(settings::defaultConfiguration()) + "\n");
    EXPECT_EQ(settings::decodeStampConfiguration(run.out), settings::defaultConfiguration());

    EXPECT_EQ(runCli({"config"}).status, 2);
    EXPECT_EQ(runCli({"config", "reset"}).status, 2);
    EXPECT_EQ(runCli({"config", "default", "x"}).status, 2);
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
    const CliRun invalid = check("blank.json", encoded(blank));
    EXPECT_EQ(invalid.status, 1);
    EXPECT_EQ(invalid.err, std::string(settings::description(settings::ConfigurationProblem::nothingToDraw)) + "\n");

    std::string missing = encoded(settings::defaultConfiguration());
    missing.replace(missing.find("\"useFileDateFallback\""), 21, "\"renamedKey\"");
    const CliRun unreadable = check("missing.json", missing);
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_TRUE(contains(unreadable.err, "Missing key \u201CuseFileDateFallback\u201D at configuration"))
        << unreadable.err;

    const CliRun malformed = check("malformed.json", "{\"format\": ");
    EXPECT_EQ(malformed.status, 1);
    EXPECT_TRUE(contains(malformed.err, "not valid JSON")) << malformed.err;

    const CliRun absent = runCli({"config", "check", (dir / "absent.json").string()});
    EXPECT_EQ(absent.status, 1);
    EXPECT_TRUE(contains(absent.err, "absent.json")) << absent.err;
    EXPECT_EQ(runCli({"config", "check", dir.path().string()}).status, 1);
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

    veltrop::testing::writeFile(file, *settings::encodePresetDocument(document));
    CliRun run = runCli({"config", "check", file});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "\u201CWatermark\u201D: Enter watermark text or turn off the watermark\n");

    document.presets[1].configuration.watermark->source = settings::WatermarkSource::image({settings::Uuid::random()});
    veltrop::testing::writeFile(file, *settings::encodePresetDocument(document));
    run = runCli({"config", "check", file});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "OK\n");

    document.version = 3;
    veltrop::testing::writeFile(file, *settings::encodePresetDocument(document));
    run = runCli({"config", "check", file});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "(format 3)")) << run.err;

    // A document is recognised by its keys even when one of them is missing.
    veltrop::testing::writeFile(file, "{\"presets\": []}");
    run = runCli({"config", "check", file});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.err, "Missing key \u201Cversion\u201D at the top level")) << run.err;
}
