#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "kit/export/image_loader.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using veltrop::testing::TempDir;

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun cli(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    const int status = veltrop::cli::run(arguments, out, err);
    return {status, out.str(), err.str()};
}

void copyInto(const fs::path& corpus, const std::string& name, const fs::path& to) {
    fs::create_directories(to);
    fs::copy_file(corpus / name, to / name);
}

std::string trimmedEnd(const nlohmann::json& value) {
    std::string text = value.is_string() ? value.get<std::string>() : std::string("(absent)");
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

TEST(CliInspect, AgreesWithTheReferenceToolOnEveryCorpusPhoto) {
    VELTROP_REQUIRE_CORPUS(corpus);
    std::ifstream in(corpus / "oracle.json");
    const auto oracle = nlohmann::json::parse(in);
    std::vector<std::string> arguments{"inspect"};
    for (const auto& file : oracle["files"]) arguments.push_back((corpus / file["file"].get<std::string>()).string());
    const CliRun run = cli(arguments);
    const auto listing = nlohmann::json::parse(run.out);
    ASSERT_EQ(listing.size(), oracle["files"].size());

    const std::pair<const char*, const char*> dateKeys[] = {
        {"dateTimeOriginal", "DateTimeOriginal"}, {"dateTimeDigitized", "CreateDate"}, {"tiffDateTime", "ModifyDate"}};
    for (std::size_t i = 0; i < listing.size(); ++i) {
        const auto& ours = listing[i];
        const auto& theirs = oracle["files"][i];
        SCOPED_TRACE(theirs["file"].get<std::string>());
        if (ours.contains("error")) {
            ADD_FAILURE() << ours["error"];
            continue;
        }
        for (const auto& [key, oracleKey] : dateKeys) {
            const auto& expected = theirs["dates_raw"][oracleKey];
            if (expected.is_null()) {
                EXPECT_FALSE(ours["dateFields"].contains(key)) << key;
            } else {
                EXPECT_EQ(ours["dateFields"].value(key, std::string("(absent)")), expected.get<std::string>()) << key;
            }
        }
        if (!theirs["Make"].is_null()) {
            // Stored text is kept as written; the reference tool trims trailing blanks.
            EXPECT_EQ(trimmedEnd(ours["exif"]["make"]), theirs["Make"]);
        }
        if (!theirs["Model"].is_null()) {
            EXPECT_EQ(trimmedEnd(ours["exif"]["model"]), theirs["Model"]);
        }
        for (const auto& [key, oracleKey] : {std::pair{"focalLength", "FocalLength"}, {"aperture", "FNumber"},
                                             {"shutterSeconds", "ExposureTime"}}) {
            if (theirs[oracleKey].is_number()) {
                const double expected = theirs[oracleKey].get<double>();
                const double actual = ours["exif"].value(key, -1.0);
                EXPECT_NEAR(actual, expected, 1e-6) << key;
            }
        }
        if (theirs["ISO"].is_number()) {
            EXPECT_EQ(ours["exif"]["iso"], theirs["ISO"]);
        }
        EXPECT_EQ(ours["gps"], theirs["gps_ifd_present"]);

        const bool heif = theirs["file_type"] != "JPEG";
        const auto display = heif ? theirs["heif_display_size_after_irot"] : theirs["display_size_after_orientation"];
        if (display.is_array()) {
            EXPECT_EQ(ours["displaySize"], display);
        }
        if (!heif) {
            EXPECT_EQ(ours["pixelSize"], (nlohmann::json{theirs["ImageWidth"], theirs["ImageHeight"]}));
        } else {
            EXPECT_EQ(ours["orientation"], 1);  // the container's rotation is applied while decoding
        }
    }
}

TEST(CliInspect, ReportsUnreadableFilesAndKeepsGoing) {
    TempDir dir;
    veltrop::testing::writeFile(dir / "notes.heic", "just text");
    const CliRun run = cli({"inspect", (dir / "notes.heic").string(), (dir / "missing.jpg").string()});
    EXPECT_EQ(run.status, 1);
    const auto listing = nlohmann::json::parse(run.out);
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_TRUE(listing[0].contains("error"));
    EXPECT_EQ(listing[0]["file"], (dir / "notes.heic").string());
    EXPECT_TRUE(listing[1].contains("error"));
}

TEST(CliStamp, WritesOneCopyAndNeverReplacesIt) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    const fs::path input = corpus / "FujiFilm DS-7 (1).jpg";
    const fs::path output = dir / "copy.jpg";
    CliRun first = cli({"stamp", input.string(), output.string(), "--corner", "topLeft", "--backing", "box"});
    ASSERT_EQ(first.status, 0) << first.err;
    auto written = veltrop::exporting::ImageLoader::readInfo(output);
    ASSERT_TRUE(written);
    EXPECT_EQ(written->pixelSize, (veltrop::exporting::PixelSize{320, 240}));

    const auto before = veltrop::testing::readFile(output);
    CliRun second = cli({"stamp", input.string(), output.string()});
    EXPECT_EQ(second.status, 1);
    EXPECT_FALSE(second.err.empty());
    EXPECT_EQ(veltrop::testing::readFile(output), before);

    CliRun undated = cli({"stamp", (corpus / "Issue 614.jpg").string(), (dir / "u.jpg").string()});
    EXPECT_EQ(undated.status, 1);
    EXPECT_EQ(undated.err, "No usable date. Review dates to supply one, or export without a timestamp.\n");

    CliRun nothing = cli({"stamp", input.string(), (dir / "n.jpg").string(), "--no-timestamp"});
    EXPECT_EQ(nothing.status, 1);
    EXPECT_EQ(nothing.err, "Turn on the timestamp or a watermark \u2014 otherwise the copies would be identical\n");

    CliRun retro = cli({"stamp", input.string(), (dir / "r.jpg").string(), "--theme", "retro"});
    EXPECT_EQ(retro.status, 1);
    EXPECT_NE(retro.err.find("The retro display cannot show Nov"), std::string::npos) << retro.err;

    EXPECT_EQ(cli({"stamp", input.string(), (dir / "x.jpg").string(), "--corner", "middle"}).status, 2);
    EXPECT_EQ(cli({"stamp", input.string()}).status, 2);
    EXPECT_FALSE(fs::exists(dir / "x.jpg"));
}

TEST(CliExport, ExportsAFolderWithCorrectionsAndReportsEveryPhoto) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    const fs::path site = dir / "site";
    copyInto(corpus, "FujiFilm DS-7 (1).jpg", site);
    copyInto(corpus, "Issue 614.jpg", site / "day2");          // no date: skipped
    copyInto(corpus, "FujiFilm SP-2500.jpg", site / "day2");   // dated by its digitised field
    veltrop::testing::writeFile(site / "broken.jpg", "not a photo");  // no metadata, so no date: skipped
    copyInto(corpus, "corrupted.jpg", site);                          // dated, but fails to decode

    CliRun run = cli({"export", site.string(), "--template", "{reference} {datetime}", "--prefix", "S", "--shift",
                   "+1h", "--shift", "-30m@folder=" + (site / "day2").string(), "--jobs", "2"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;  // the corrupted photo fails
    EXPECT_NE(run.out.find("Stamped 2 \u00b7 Failed 1 \u00b7 Skipped (no usable date) 2 \u00b7 Not processed 0"),
              std::string::npos)
        << run.out;
    EXPECT_TRUE(fs::exists(site / "Timestamped/S-0005 1996-11-10_215921.jpg")) << run.out;
    EXPECT_TRUE(fs::exists(site / "Timestamped/day2/S-0003 2003-09-10_202918.jpg")) << run.out;
    EXPECT_NE(run.out.find("Output: " + (site / "Timestamped").string()), std::string::npos);

    // A second export never replaces the first copies; the output folder is not searched again.
    CliRun again = cli({"export", site.string(), "--template", "{reference} {datetime}", "--prefix", "S", "--shift", "+1h"});
    EXPECT_TRUE(fs::exists(site / "Timestamped/S-0005 1996-11-10_215921-2.jpg")) << again.out;

}

TEST(CliExport, UsageErrorsForBadCorrections) {
    TempDir dir;
    for (std::vector<std::string> bad : {std::vector<std::string>{"--shift", "+367d"}, {"--shift", "1x"},
                                         {"--supply", "2026-02-30 10:00:00"}, {"--expect", "2026-08-31..2026-08-01"},
                                         {"--shift", "+1h@lens=x"}, {"--jobs", "0"}}) {
        bad.insert(bad.begin(), "export");
        bad.push_back(dir.path().string());
        const CliRun run = cli(bad);
        EXPECT_EQ(run.status, 2) << bad[1] << " " << bad[2];
    }
    EXPECT_NE(cli({"export", "--shift", "+367d", dir.path().string()}).err.find(
                  "Use a total shift within 366 days in either direction."),
              std::string::npos);
    EXPECT_NE(cli({"export", "--supply", "2026-02-30 10:00:00", dir.path().string()}).err.find(
                  "Enter a valid date as YYYY-MM-DD HH:MM:SS."),
              std::string::npos);
}

TEST(CliExport, MakesAHandoverPackage) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    const fs::path site = dir / "site";
    copyInto(corpus, "FujiFilm DS-7 (1).jpg", site);
    copyInto(corpus, "Issue 614.jpg", site);
    const fs::path parent = dir / "handover";
    fs::create_directory(parent);

    for (const std::string expected : {"Veltrop - Bridge", "Veltrop - Bridge 2"}) {
        CliRun run = cli({"export", site.string(), "--package", parent.string(), "--project", "Bridge"});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        const fs::path package = parent / expected;
        EXPECT_NE(run.out.find("Package: " + package.string()), std::string::npos) << run.out;
        EXPECT_TRUE(fs::exists(package / ".veltrop-package"));
        EXPECT_TRUE(fs::exists(package / "Photos/FujiFilm DS-7 (1).jpg"));
        const std::string index = veltrop::testing::readFile(package / "Photo index.csv");
        EXPECT_TRUE(index.starts_with("\xEF\xBB\xBF\"Reference\""));
        EXPECT_NE(index.find("\"Skipped: no usable date\""), std::string::npos);
        EXPECT_NE(index.find("\"Photos/FujiFilm DS-7 (1).jpg\",\"Exported\""), std::string::npos);
        EXPECT_TRUE(fs::file_size(package / "Contact sheet.pdf") > 1000);
    }
    // The site itself gets no Timestamped folder: the copies went into the package.
    EXPECT_FALSE(fs::exists(site / "Timestamped"));
}
