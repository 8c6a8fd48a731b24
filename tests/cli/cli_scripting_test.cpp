#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "kit/settings/settings_json.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using nlohmann::json;
using namespace veltrop::testing;

namespace {

// Two cameras, one of them in a sub-folder, and a photo without a date.
struct Survey {
    TempDir dir;
    fs::path site = dir / "site";

    Survey() {
        EXPECT_EQ(makePhotos({
                      {site / "a.jpg", {"2026:08:14 06:17:49", "NIKON CORPORATION", "NIKON D3100"}},
                      {site / "day2/b.jpg", {"2026:08:31 23:59:59", "Canon", "Canon EOS 20D"}},
                      {site / "day2/c.jpg", {}},
                  }),
                  "");
    }
};

}  // namespace

TEST(CliScripting, ACorrectionThatMatchesNoPhotoIsRefusedBeforeAnythingIsWritten) {
    Survey survey;
    for (const std::string command : {"export", "review"}) {
        const ProcessRun camera = runBinary({command, survey.site.string(), "--shift", "+1h@camera=nikon"});
        EXPECT_EQ(camera.status, 2);
        EXPECT_EQ(camera.out, "");
        EXPECT_TRUE(contains(camera.err, "--shift \u201C+1h@camera=nikon\u201D matches no photo")) << camera.err;
        EXPECT_TRUE(contains(camera.err, "did you mean \u201CNIKON D3100\u201D?")) << camera.err;
        EXPECT_TRUE(contains(camera.err, "Cameras in this batch: \u201CNIKON D3100\u201D (1), \u201CCanon EOS 20D\u201D (1)"))
            << camera.err;

        const ProcessRun folder = runBinary({command, survey.site.string(), "--supply",
                                             "2026-08-14 12:00:00@folder=" + (survey.dir / "day2").string()});
        EXPECT_EQ(folder.status, 2);
        EXPECT_TRUE(contains(folder.err, "Folders in this batch: " + survey.site.string() + ", " +
                                             (survey.site / "day2").string()))
            << folder.err;
    }
    EXPECT_FALSE(fs::exists(survey.site / "Timestamped"));

    // Matching corrections run, and the summary says what each one changed.
    const ProcessRun run = runBinary({"export", survey.site.string(), "--shift", "+1h", "--shift",
                                      "+2h@camera=Canon EOS 20D", "--supply", "2026-08-14 12:00:00@photo=" +
                                                                               (survey.site / "day2/c.jpg").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(contains(run.out, "Correction --shift \u201C+1h\u201D changed 1 photo (Clock adjustment +60 min, All photos)\n"))
        << run.out;
    EXPECT_TRUE(contains(run.out, "Correction --shift \u201C+2h@camera=Canon EOS 20D\u201D changed 1 photo")) << run.out;
    EXPECT_TRUE(contains(run.out, "@photo=" + (survey.site / "day2/c.jpg").string() + "\u201D changed 1 photo")) << run.out;
}

TEST(CliScripting, QuietVerboseAndExpectedDatesDecideWhatIsPrinted) {
    Survey survey;
    const ProcessRun normal = runBinary({"export", survey.site.string(), "--out", (survey.dir / "1").string()});
    EXPECT_EQ(normal.status, 0);
    EXPECT_EQ(normal.err, "1/3\n2/3\n3/3\n");  // no terminal: one progress line per photo
    EXPECT_TRUE(normal.out.starts_with("Stamped 2 \u00b7 Failed 0 \u00b7 Skipped (no usable date) 1")) << normal.out;

    const ProcessRun quiet = runBinary({"export", survey.site.string(), "--out", (survey.dir / "2").string(), "-q"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, normal.out.substr(0, normal.out.find('\n') + 1) + "Output: " + (survey.dir / "2").string() + "\n");

    const ProcessRun verbose =
        runBinary({"export", survey.site.string(), "--out", (survey.dir / "3").string(), "--verbose"});
    EXPECT_EQ(verbose.status, 0);
    EXPECT_TRUE(verbose.out.starts_with(
        "Stamped: " + (survey.site / "a.jpg").string() + " \u2192 " + (survey.dir / "3/a.jpg").string() + "\n" +
        "Stamped: " + (survey.site / "day2/b.jpg").string() + " \u2192 " + (survey.dir / "3/day2/b.jpg").string() + "\n" +
        "Skipped (no usable date): " + (survey.site / "day2/c.jpg").string() + "\nStamped 2 "))
        << verbose.out;
    EXPECT_EQ(runBinary({"export", survey.site.string(), "-q", "-v"}).status, 2);

    // Photos outside the expected dates are listed and fail the export.
    const ProcessRun inside = runBinary({"export", survey.site.string(), "--expect", "2026-08-14..2026:08:31", "-q"});
    EXPECT_EQ(inside.status, 0) << inside.err;
    EXPECT_EQ(inside.err, "");
    const ProcessRun outside = runBinary({"export", survey.site.string(), "--expect", "2026-08-15..2026-08-31", "--json"});
    EXPECT_EQ(outside.status, 1);
    EXPECT_TRUE(contains(outside.err, "1 photo lies outside the expected dates 2026-08-15 \u2026 2026-08-31:\n"
                                      "  site/a.jpg  2026-08-14 06:17:49\n"))
        << outside.err;
    EXPECT_EQ(json::parse(outside.out)["counts"]["failed"], 0);  // everything else went well
}

// Packages are numbered, never reused, and made with their parent folders;
// the site itself gets no Timestamped folder.
TEST(CliScripting, PackagesAreMadeWithTheirParentsAndNumbered) {
    Survey survey;
    const fs::path parent = survey.dir / "deliveries/2026/august";
    for (const std::string name : {"Veltrop - Bridge", "Veltrop - Bridge 2"}) {
        const ProcessRun made = runBinary({"export", survey.site.string(), "--package", parent.string(), "--project", "Bridge"});
        EXPECT_EQ(made.status, 0) << made.err;
        const fs::path package = parent / name;
        EXPECT_TRUE(contains(made.out, "Package: " + package.string())) << made.out;
        EXPECT_TRUE(fs::exists(package / ".veltrop-package"));
        EXPECT_TRUE(fs::exists(package / "Contact sheet.pdf"));
        const auto rows = parseQuotedCsv(readFile(package / "Photo index.csv"));
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(rows[1][4], "Photos/a.jpg");  // the index's texts are HandoverReports'
        EXPECT_TRUE(fs::exists(package / rows[1][4]));
    }
    EXPECT_FALSE(fs::exists(survey.site / "Timestamped"));

    writeFile(survey.dir / "taken", "a file");
    const ProcessRun file = runBinary({"export", survey.site.string(), "--package", (survey.dir / "taken").string()});
    EXPECT_EQ(file.status, 1);
    EXPECT_EQ(file.out, "");
    EXPECT_EQ(file.err, "Could not create a new handover folder in \u201C" + (survey.dir / "taken").string() +
                            "\u201D: it is not a folder\n");
}

TEST(CliScripting, ReviewPrintsATableCsvOrJsonAndWritesNothing) {
    Survey survey;
    const std::vector<std::string> corrections{"--shift", "+1h30m@camera=NIKON D3100", "--expect",
                                               "2026-08-14..2026-08-31"};
    auto review = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"review", survey.site.string()});
        arguments.insert(arguments.end(), corrections.begin(), corrections.end());
        return runBinary(arguments);
    };

    const ProcessRun table = review({});
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.err, "");
    // Columns two spaces apart, no trailing spaces.
    EXPECT_EQ(table.out,
              "Photo            Camera          Recorded             Will use             Date source        Correction"
              "                Notes\n"
              "site/a.jpg       NIKON D3100     2026-08-14 06:17:49  2026-08-14 07:47:49  EXIF capture date  Clock "
              "adjustment +90 min\n"
              "site/day2/b.jpg  Canon EOS 20D   2026-08-31 23:59:59  2026-08-31 23:59:59  EXIF capture date\n"
              "site/day2/c.jpg  Unknown camera  No date              Still has no date                                 "
              "                No recorded capture date\n"
              "3 photos \u00b7 1 need attention\n"
              "Correction --shift \u201C+1h30m@camera=NIKON D3100\u201D changed 1 photo (Clock adjustment +90 min, "
              "Camera model: NIKON D3100)\n");

    const ProcessRun csv = review({"--csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_TRUE(csv.out.ends_with("\r\n"));
    const auto rows = parseQuotedCsv(csv.out);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"Reference", "Source file", "Camera", "Recorded date",
                                                 "Recorded date source", "Resolved date", "Resolved date source",
                                                 "Correction", "Warnings", "Error", "Needs attention"}));
    EXPECT_EQ(rows[1], (std::vector<std::string>{"IMG-0001", "site/a.jpg", "NIKON D3100", "2026-08-14 06:17:49",
                                                 "EXIF capture date", "2026-08-14 07:47:49", "EXIF capture date",
                                                 "Clock adjustment +90 min", "", "", "No"}));
    EXPECT_EQ(rows[3][8], "No recorded capture date");
    EXPECT_EQ(rows[3][10], "Yes");

    const ProcessRun asJson = review({"--json"});
    ASSERT_EQ(asJson.status, 0) << asJson.err;
    const json parsed = json::parse(asJson.out);
    ASSERT_EQ(parsed["photos"].size(), 3u);
    EXPECT_EQ(parsed["photos"][1]["source"], (survey.site / "day2/b.jpg").string());
    EXPECT_EQ(parsed["photos"][2]["needsAttention"], true);
    EXPECT_EQ(parsed["counts"], json::parse(R"({"photos": 3, "needAttention": 1})"));
    EXPECT_EQ(parsed["corrections"][0]["changedPhotos"], 1);
    // The JSON is printed in the program's one written form.
    EXPECT_EQ(asJson.out, *veltrop::settings::formatJsonText(asJson.out) + "\n");

    EXPECT_EQ(review({"--csv", "--json"}).status, 2);
    // Nothing was written anywhere in the folder.
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(survey.dir.path())) ++entries;
    EXPECT_EQ(entries, 5u);
}

TEST(CliScripting, InspectSearchesFolders) {
    Survey survey;
    const auto files = [](const ProcessRun& run) {
        std::vector<std::string> names;
        for (const auto& photo : json::parse(run.out)) names.push_back(fs::path(photo["file"].get<std::string>()).filename().string());
        return names;
    };
    // Which photos a folder holds is PhotoDiscovery's; here the option and the named photo.
    const ProcessRun top = runBinary({"inspect", "--no-subfolders", survey.site.string(), (survey.site / "day2/c.jpg").string()});
    EXPECT_EQ(top.status, 0) << top.err;
    EXPECT_EQ(files(top), (std::vector<std::string>{"a.jpg", "c.jpg"}));
    EXPECT_EQ(json::parse(top.out)[0]["captureDate"], "2026-08-14 06:17:49");

    fs::create_directory(survey.dir / "empty");
    const ProcessRun empty = runBinary({"inspect", (survey.dir / "empty").string()});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "[]\n");
    EXPECT_TRUE(contains(empty.err, "No photos found in")) << empty.err;
}
