#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "kit/export/image_loader.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using namespace veltrop::testing;

namespace {

void copyInto(const fs::path& corpus, const std::string& name, const fs::path& to) {
    fs::create_directories(to);
    fs::copy_file(corpus / name, to / name);
}

void flipByte(const fs::path& file, std::streamoff at) {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekg(at);
    char byte = 0;
    stream.get(byte);
    stream.seekp(at);
    stream.put(static_cast<char>(byte ^ 0x01));
}

}  // namespace

// Every corpus photo is checked against the reference readings in ImageCorpus;
// here only the listing's shape, and that an unreadable file does not stop it.
TEST(CliInspect, ListsEachPhotoInOrderAndKeepsGoingPastUnreadableOnes) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    writeFile(dir / "notes.heic", "just text");
    const CliRun run = runCli({"inspect", (corpus / "Nikon D90.jpg").string(), (dir / "notes.heic").string(),
                               (corpus / "landscape_5.jpg").string()});
    EXPECT_EQ(run.status, 1);
    const auto listing = nlohmann::json::parse(run.out);
    ASSERT_EQ(listing.size(), 3u);

    const nlohmann::json nikon{{"file", (corpus / "Nikon D90.jpg").string()}, {"captureDate", "2011-04-25 01:55:30"},
                               {"captureDateSource", "dateTimeOriginal"}, {"cameraText", "NIKON D90"},
                               {"exposureText", "24mm  \u0192/3.2  1/10s  ISO 250"}, {"gps", true}};
    for (const auto& [key, value] : nikon.items()) EXPECT_EQ(listing[0][key], value) << key;
    EXPECT_EQ(listing[0]["dateFields"]["dateTimeOriginal"], "2011:04:25 01:55:30");
    EXPECT_EQ(listing[0]["exif"]["iso"], 250);

    EXPECT_EQ(listing[1], (nlohmann::json{{"file", (dir / "notes.heic").string()},
                                          {"error", "notes.heic is not a supported image"}}));

    // Turned, without EXIF: no camera or exposure texts at all.
    const nlohmann::json none = nlohmann::json::object();
    EXPECT_EQ(listing[2], (nlohmann::json{{"file", (corpus / "landscape_5.jpg").string()}, {"pixelSize", {450, 600}},
                                          {"displaySize", {600, 450}}, {"orientation", 5}, {"dateFields", none},
                                          {"captureDate", nullptr}, {"captureDateSource", nullptr}, {"exif", none},
                                          {"gps", false}}));
}

TEST(CliStamp, WritesOneCopyAndNeverReplacesIt) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    const fs::path input = corpus / "FujiFilm DS-7 (1).jpg";
    const fs::path output = dir / "copy.jpg";
    const CliRun first = runCli({"stamp", input.string(), output.string(), "--corner", "topLeft", "--backing", "box"});
    ASSERT_EQ(first.status, 0) << first.err;
    auto written = veltrop::exporting::ImageLoader::readInfo(output);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->pixelSize, (veltrop::exporting::PixelSize{320, 240}));

    const auto before = readFile(output);
    const CliRun second = runCli({"stamp", input.string(), output.string()});
    EXPECT_EQ(second.status, 1);
    EXPECT_FALSE(second.err.empty());
    EXPECT_EQ(readFile(output), before);

    const std::pair<std::vector<std::string>, std::string> failures[] = {
        {{(corpus / "Issue 614.jpg").string(), (dir / "u.jpg").string()},
         "No usable date. Review dates to supply one, or export without a timestamp.\n"},
        {{input.string(), (dir / "n.jpg").string(), "--no-timestamp"},
         "Turn on the timestamp or a watermark \u2014 otherwise the copies would be identical\n"},
        {{input.string(), (dir / "r.jpg").string(), "--theme", "retro"}, "The retro display cannot show Nov"},
    };
    for (auto [arguments, text] : failures) {
        arguments.insert(arguments.begin(), "stamp");
        const CliRun run = runCli(arguments);
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.starts_with(text)) << run.err;
    }
    EXPECT_EQ(runCli({"stamp", input.string(), (dir / "x.jpg").string(), "--corner", "middle"}).status, 2);
    EXPECT_EQ(runCli({"stamp", input.string()}).status, 2);
    EXPECT_FALSE(fs::exists(dir / "x.jpg"));
}

TEST(CliExport, ExportsAFolderWithCorrectionsAndReportsEveryPhoto) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    const fs::path site = dir / "site";
    copyInto(corpus, "FujiFilm DS-7 (1).jpg", site);
    copyInto(corpus, "Issue 614.jpg", site / "day2");                 // no date: skipped
    copyInto(corpus, "FujiFilm SP-2500.jpg", site / "day2");          // dated by its digitised field
    writeFile(site / "broken.jpg", "not a photo");  // no metadata, so no date: skipped
    // Dated, but its image data ends early: it fails to decode.
    const std::string whole = readFile(corpus / "FujiFilm DS-7 (1).jpg");
    writeFile(site / "cut short.jpg", whole.substr(0, whole.size() * 6 / 10));

    const CliRun run = runCli({"export", site.string(), "--template", "{reference} {datetime}", "--prefix", "S",
                               "--shift", "+1h", "--shift", "-30m@folder=" + (site / "day2").string(), "--jobs", "2"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;  // the photo cut short fails
    EXPECT_TRUE(contains(run.out, "Stamped 2 \u00b7 Failed 1 \u00b7 Skipped (no usable date) 2 \u00b7 Not processed 0"))
        << run.out;
    EXPECT_TRUE(fs::exists(site / "Timestamped/S-0005 1996-11-10_215921.jpg")) << run.out;
    EXPECT_TRUE(fs::exists(site / "Timestamped/day2/S-0003 2003-09-10_202918.jpg")) << run.out;
    EXPECT_TRUE(contains(run.out, "Output: " + (site / "Timestamped").string()));
}

// Refused before any photo is read, with the reason.
TEST(CliExport, UsageErrorsForBadCorrections) {
    TempDir dir;
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--shift", "+30m1h"}, "in that order (d, h, m, s); \u201Ch\u201D comes too late in \u201C+30m1h\u201D"},
        {{"--shift", "1x"}, "like +1h30m, -2d or +45s"},
        {{"--supply", "2026-02-30 10:00:00"}, "--supply takes a date like"},
        {{"--supply", "2024:02-29 13:05:07"}, "--supply takes a date like"},
        {{"--expect", "2026-08-31..2026-08-01"}, ""},
        {{"--shift", "+1h@lens=x"}, ""},
        {{"--jobs", "0"}, ""},
    };
    for (const std::string command : {"export", "review"}) {
        for (auto [arguments, text] : cases) {
            arguments.insert(arguments.begin(), {command, dir.path().string()});
            const CliRun run = runCli(arguments);
            EXPECT_EQ(run.status, 2) << command << " " << arguments[2] << " " << arguments[3];
            EXPECT_EQ(run.out, "");
            EXPECT_TRUE(contains(run.err, text)) << run.err;
        }
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

// A package made by export proves itself: the real sha256sum accepts both
// lists, verify passes, and each kind of tampering is named.
TEST(CliVerify, FreshPackagePassesAndEachChangeIsNamed) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    const fs::path site = dir / "Site";
    fs::create_directories(site / "day 1");
    fs::copy_file(corpus / "FujiFilm DS-7 (1).jpg", site / "day 1" / "a.jpg");
    fs::copy_file(corpus / "Traveler SX330Z.jpg", site / "b.jpg");
    fs::create_directories(dir / "out");
    const CliRun exported = runCli({"export", site.string(), "--package", (dir / "out").string(), "--jobs", "2"});
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    const fs::path package = dir / "out" / "Veltrop - Photo records";
    ASSERT_TRUE(fs::exists(package / "Checksums.sha256"));
    EXPECT_EQ(readFile(package / "Sources.sha256").find("  Site/day 1/a.jpg\n") != std::string::npos, true);

    const std::string checkInside =
        "cd " + shellQuoted(package) + " && sha256sum --quiet --strict -c Checksums.sha256";
    EXPECT_EQ(std::system(checkInside.c_str()), 0);
    const std::string checkSources =
        "cd " + shellQuoted(dir.path()) + " && sha256sum --quiet --strict -c " + shellQuoted(package / "Sources.sha256");
    EXPECT_EQ(std::system(checkSources.c_str()), 0);

    const std::vector<std::string> withSources{"verify", package.string(), "--sources", dir.path().string()};
    const CliRun fresh = runCli(withSources);
    EXPECT_EQ(fresh.status, 0) << fresh.out;
    EXPECT_TRUE(contains(fresh.out, "Verified: 6 files match Checksums.sha256, 2 originals match Sources.sha256\n"))
        << fresh.out;

    // Every kind of problem inside the package is PackageVerification's; here a copy and the originals.
    const fs::path copy = package / "Photos" / "day 1" / "a.jpg";
    const fs::path original = site / "day 1" / "a.jpg";
    struct Tampering {
        std::function<void()> change, undo;
        std::string line;
    };
    const Tampering cases[] = {
        {[&] { flipByte(copy, 1000); }, [&] { flipByte(copy, 1000); }, "Changed: Photos/day 1/a.jpg"},
        {[&] { flipByte(original, 2000); }, [&] { flipByte(original, 2000); }, "Changed original: Site/day 1/a.jpg"},
        {[&] { fs::remove(original); }, [&] { fs::copy_file(corpus / "FujiFilm DS-7 (1).jpg", original); },
         "Missing original: Site/day 1/a.jpg"},
    };
    for (const Tampering& tampering : cases) {
        tampering.change();
        const CliRun run = runCli(withSources);
        EXPECT_EQ(run.status, 1) << tampering.line;
        EXPECT_EQ(run.out.substr(0, run.out.find('\n')), tampering.line) << run.out;
        EXPECT_TRUE(contains(run.out, "\n1 problem found\n")) << run.out;
        tampering.undo();
        EXPECT_EQ(runCli(withSources).status, 0) << "after undoing: " << tampering.line;
    }
    // Without --sources the originals are not read.
    flipByte(original, 2000);
    EXPECT_EQ(runCli({"verify", package.string()}).status, 0);

    EXPECT_EQ(runCli({"verify", (dir / "nowhere").string()}).status, 2);
    EXPECT_EQ(runCli({"verify"}).status, 2);
    const CliRun notPackage = runCli({"verify", site.string()});
    EXPECT_EQ(notPackage.status, 1);
    EXPECT_TRUE(contains(notPackage.out, "Checksums.sha256 is missing or cannot be read\n")) << notPackage.out;
}
