#include "kit/export/output_planner.h"

#include <gtest/gtest.h>

#include "kit/settings/stamp_configuration.h"
#include "support/test_support.h"

namespace veltrop::exporting {
namespace {

namespace fs = std::filesystem;
using namespace testing;

const dates::CaptureDate summerMorning{2026, 8, 14, 6, 17, 49, dates::CaptureDateSource::dateTimeOriginal};

settings::OutputNaming naming(std::string templateText) { return {std::move(templateText)}; }

bool alwaysSensitive(const fs::path&) { return true; }
bool neverSensitive(const fs::path&) { return false; }

// Plans a photo with no subfolder, reference or project.
std::expected<fs::path, OutputError> planName(OutputPlanner& planner, const fs::path& root, const fs::path& source,
                                              const std::string& templateText = "{name}",
                                              std::optional<dates::CaptureDate> date = std::nullopt,
                                              const std::string& project = "") {
    return planner.plan(root, source, "", source.stem().string(), date, "IMG-0001", project, naming(templateText));
}

TEST(OutputNaming, FileStemReplacesAndCleansTokens) {
    struct Case {
        std::string templateText, sourceName;
        std::optional<dates::CaptureDate> date;
        std::string reference, project, expected;
    };
    const Case cases[] = {
        {"{date} {time}", "IMG_0001", summerMorning, "", "", "2026-08-14 061749"},
        {"{datetime}", "IMG_0001", summerMorning, "", "", "2026-08-14_061749"},
        {"{date}-{name}", "IMG_0001", std::nullopt, "", "", "{date}-IMG_0001"},
        {"{project}/{name}", "IMG_0001", std::nullopt, "", "Site A/B: North", "Site A-B- North/IMG_0001"},
        {"{reference}_{nam", "x", std::nullopt, std::string("R\0:1", 4), "", "R--1_{nam"},
        {"a..b {name}", " x...y\t", std::nullopt, "", "", "a..b x.y"},
        {"   ", " IMG 7 ", std::nullopt, "", "", "IMG 7"},
        {" {project} ", "IMG", std::nullopt, "", " .. ", "IMG"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(fileStem(c.templateText, c.sourceName, c.date, c.reference, c.project), c.expected)
            << c.templateText;
}

TEST(OutputPlanner, NumberingResumesPerFolderAndName) {
    TempDir dir;
    const fs::path root = dir / "out";
    writeFile(root / "x-3.jpg", "taken");
    fs::create_directories(root / "sub");
    writeFile(root / "sub" / "x.jpg", "taken");
    for (bool sensitive : {true, false}) {
        OutputPlanner planner({}, sensitive ? alwaysSensitive : neverSensitive);
        const auto next = [&](const std::string& name, const std::string& templateText = "{name}") {
            return planner.plan(root, dir / (name + ".heic"), "", name, std::nullopt, "", "", naming(templateText));
        };
        EXPECT_EQ(next("x"), root / "x.jpg");
        EXPECT_EQ(next("x"), root / "x-2.jpg");
        EXPECT_EQ(next("x", "sub/{name}"), root / "sub" / "x-2.jpg");
        EXPECT_EQ(next("x"), root / "x-4.jpg");  // x-3 is on disk
        EXPECT_EQ(next("x-4"), root / "x-4-2.jpg");
        EXPECT_EQ(next("X"), root / (sensitive ? "X.jpg" : "X-5.jpg"));
        EXPECT_EQ(next("x"), root / (sensitive ? "x-5.jpg" : "x-6.jpg"));
        EXPECT_EQ(next("x", "sub/{name}"), root / "sub" / "x-3.jpg");
    }
}

TEST(OutputPlanner, PlacesTokensAndSubfolders) {
    TempDir dir;
    OutputPlanner planner({});
    const fs::path root = dir.path();
    EXPECT_EQ(planName(planner, root, dir / "b.heic", "{name}/"), root / "b.jpg");
    EXPECT_EQ(planName(planner, root, dir / "c.heic", "x//{name}"), root / "x" / "c.jpg");
    EXPECT_EQ(planner.plan(root, dir / "d.heic", "/sub//deeper/", "d", std::nullopt, "", "", naming("{name}")),
              root / "sub" / "deeper" / "d.jpg");
    EXPECT_EQ(planName(planner, root, dir / "a.heic", "{date}"), std::unexpected(OutputError::missingCaptureDate()));
}

TEST(OutputPlanner, RejectsPathsOutsideTheRoot) {
    TempDir dir;
    fs::create_directories(dir / "root");
    fs::create_directories(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / "root" / "escape");
    OutputPlanner planner({});
    const auto invalid = std::unexpected(OutputError::invalidPath());
    for (const std::string& templateText : std::vector<std::string>{"/{name}", " \n/x", "a/../{name}", "..", std::string("a\0b", 3), "escape/{name}", ".{project}./{name}"})
        EXPECT_EQ(planName(planner, dir / "root", dir / "p.heic", templateText), invalid) << templateText;
    EXPECT_EQ(planName(planner, dir / "root", dir / "...heic"), invalid);  // the stem cleans down to nothing
    EXPECT_EQ(planName(planner, dir / "root", dir / "p.heic", "a..b/{name}"), dir / "root" / "a..b" / "p.jpg");
}

TEST(OutputPlanner, NeverWritesOverASource) {
    TempDir dir;
    const std::vector<fs::path> sources{dir / "a.jpg", dir / "b.heic"};
    for (const auto& source : sources) writeFile(source, "x");

    OutputPlanner planner(sources);
    const auto refused = planName(planner, dir.path(), sources[0]);
    ASSERT_EQ(refused, std::unexpected(OutputError::wouldOverwriteSource(dir / "a.jpg")));
    EXPECT_EQ(refused.error().description(), "Refusing to write over the original photo at " + (dir / "a.jpg").string());
    EXPECT_EQ(planName(planner, dir.path(), sources[1]), dir / "b.jpg");

    writeFile(dir / "b.jpg", "taken");
    OutputPlanner again(sources);
    EXPECT_EQ(planName(again, dir.path(), sources[1]), dir / "b-2.jpg");
    // A broken symbolic link is taken too.
    fs::create_symlink(dir / "nowhere", dir / "p.jpg");
    EXPECT_EQ(planName(again, dir.path(), dir / "p.heic"), dir / "p-2.jpg");
}

TEST(OutputPlanner, SeesSourcesThroughLinksAndNormalisation) {
    TempDir dir;
    const fs::path source = dir / "real" / "caf\u00e9.jpg";
    writeFile(source, "x");
    fs::create_directory_symlink(dir / "real", dir / "link");
    OutputPlanner planner({source});
    const auto refused = planner.plan(dir / "link", {}, "", "cafe\u0301", std::nullopt, "", "", naming("{name}"));
    EXPECT_EQ(refused, std::unexpected(OutputError::wouldOverwriteSource(dir / "link" / "cafe\u0301.jpg")));
}

// Among copies the same holds (NumberingResumesPerFolderAndName); here a source.
TEST(OutputPlanner, LetterCaseCountsOnlyOnCaseInsensitiveVolumes) {
    TempDir dir;
    writeFile(dir / "IMG.JPG", "x");
    for (bool sensitive : {true, false}) {
        OutputPlanner planner({dir / "IMG.JPG"}, sensitive ? alwaysSensitive : neverSensitive);
        const auto fromHeic = planner.plan(dir.path(), {}, "", "img", std::nullopt, "", "", naming("{name}"));
        EXPECT_EQ(fromHeic.has_value(), sensitive);
    }
}

// Names are written as the photo index and the windows list them: bytes that
// are not UTF-8 become U+FFFD, in the file name and in reproduced folders.
TEST(OutputPlanner, NamesThatAreNotUtf8AreWrittenAsListed) {
    TempDir dir;
    OutputPlanner planner({});
    const fs::path root = dir.path();
    EXPECT_EQ(fileStem("{name}", "bad\xFF", std::nullopt, "", ""), "bad\xEF\xBF\xBD");
    EXPECT_EQ(fileStem("{project} {name}", "ok", std::nullopt, "", "\xC3"), "\xEF\xBF\xBD ok");
    EXPECT_EQ(planner.plan(root, dir / "bad\xFF.jpg", "sub\xFE", "bad\xFF", std::nullopt, "", "", naming("{name}")),
              root / "sub\xEF\xBF\xBD" / "bad\xEF\xBF\xBD.jpg");
}

// Whatever the validation could not know (a value that begins with ".")
// still never yields a hidden copy or folder.
TEST(OutputPlanner, NeverPlansAHiddenName) {
    TempDir dir;
    OutputPlanner planner({});
    const auto hidden = std::unexpected(OutputError::hiddenName());
    for (const std::string templateText : {"{project}", "{project}/{name}", "x/{project} {name}"})
        EXPECT_EQ(planName(planner, dir.path(), dir / "p.heic", templateText, std::nullopt, ".cache"), hidden)
            << templateText;
    EXPECT_EQ(planName(planner, dir.path(), dir / "p.heic", "x{project}/{name}", std::nullopt, ".cache"),
              dir / "x.cache" / "p.jpg");
    EXPECT_EQ(OutputError::hiddenName().description(),
              settings::description(settings::ConfigurationProblem::hiddenFilename));
}

}  // namespace
}  // namespace veltrop::exporting
