#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "kit/export/image_fixtures.h"
#include "kit/export/image_loader.h"
#include "kit/export/photo_discovery.h"
#include "kit/handover/contact_sheet.h"
#include "kit/handover/handover_package.h"
#include "kit/handover/photo_index.h"
#include "kit/records/photo_record.h"
#include "support/test_support.h"
#include "tests/kit/render/render_test_support.h"

using namespace veltrop::handover;
using veltrop::dates::CaptureDate;
using veltrop::dates::CaptureDateSource;
using veltrop::exporting::BatchSummary;
using veltrop::exporting::FileOutcome;
using veltrop::exporting::FileResult;
using veltrop::exporting::UnexpectedFailure;
using veltrop::records::PhotoRecord;
using veltrop::settings::PhotoProject;
using veltrop::settings::StampConfiguration;
using namespace veltrop::testing;
namespace fs = std::filesystem;
namespace probe = veltrop::render::probe;

namespace {

using probe::writeHalvesJpeg;

PhotoRecord record(const std::string& name, const std::string& reference) {
    PhotoRecord r;
    r.sourceName = name;
    r.sourcePath = "Site/" + name;
    r.reference = reference;
    r.camera = "Canon EOS 20D";
    r.project = "Bridge survey";
    r.location = "Pier 4";
    return r;
}

std::string run(const std::string& command) { return commandOutput(command + " 2>/dev/null").value_or(""); }

// One line of the document information, without its label.
std::string pdfInfo(const fs::path& pdf, const std::string& key) {
    const std::string text = "\n" + run("pdfinfo " + shellQuoted(pdf));
    const auto at = text.find("\n" + key + ":");
    if (at == std::string::npos) return "(absent)";
    const auto start = text.find_first_not_of(' ', at + key.size() + 2);
    return text.substr(start, text.find('\n', start) - start);
}

std::string pageText(const fs::path& pdf, int page) {
    return run("pdftotext -raw -f " + std::to_string(page) + " -l " + std::to_string(page) + " " + shellQuoted(pdf) + " -");
}

// The contact sheet of the summary, written into the folder.
fs::path sheetFile(const TempDir& folder, const BatchSummary& summary, const StampConfiguration& configuration = {}) {
    auto bytes = ContactSheet::make(summary, configuration);
    EXPECT_TRUE(bytes) << bytes.error().description();
    writeFile(folder / "sheet.pdf", bytes ? *bytes : std::string());
    return folder / "sheet.pdf";
}

const probe::Bgra grey{90, 90, 90, 255}, light{160, 160, 160, 255};

}  // namespace

TEST(HandoverPackage, CleansTitles) {
    const std::string han(90, 'x');
    std::string wide;
    for (int i = 0; i < 70; ++i) wide += "\u65E5";  // three bytes each
    std::string family;
    for (int i = 0; i < 85; ++i) family += "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // one character each
    const struct {
        std::string title, cleaned;
    } cases[] = {
        {"", "Photo records"}, {" \t ", "Photo records"}, {"\n", "-"}, {"A/B: C", "A-B- C"},
        {"  North pier  ", "North pier"}, {std::string("a\0b", 3), "a-b"},
        {"line one\r\nline two", "line one--line two"},
        {han, std::string(80, 'x')},
        {wide, wide.substr(0, 60 * 3)},
    };
    for (const auto& c : cases) EXPECT_EQ(HandoverPackage::cleanedTitle(c.title), c.cleaned) << c.title;

    // Whole characters only: never a split cluster, never over 180 bytes.
    const std::string cleaned = HandoverPackage::cleanedTitle(family);
    const std::string one = "\U0001F468\u200D\U0001F469\u200D\U0001F467";
    EXPECT_LE(cleaned.size(), 180u);
    EXPECT_EQ(cleaned.size() % one.size(), 0u);
    EXPECT_EQ(cleaned.size() / one.size(), 180 / one.size());
}

TEST(HandoverPackage, CreatesNumberedFoldersAndNeverReusesOne) {
    TempDir parent;
    auto first = HandoverPackage::createPackageFolder(parent.path(), "");
    auto second = HandoverPackage::createPackageFolder(parent.path(), "  ");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->filename(), "Veltrop - Photo records");
    EXPECT_EQ(second->filename(), "Veltrop - Photo records 2");
    EXPECT_EQ(readFile(*first / ".veltrop-package"), "Veltrop handover package\n");
    EXPECT_EQ(entryNames(*second), std::vector<std::string>{".veltrop-package"});
    struct stat info {};
    ASSERT_EQ(::stat(first->c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777 & ~0755u, 0u);
    EXPECT_EQ(info.st_mode & 0700, 0700u);

    // Anything in the way is stepped over, even a plain file.
    writeFile(parent / "Veltrop - A-B- C", "not a folder");
    auto third = HandoverPackage::createPackageFolder(parent.path(), "A/B: C");
    ASSERT_TRUE(third);
    EXPECT_EQ(third->filename(), "Veltrop - A-B- C 2");
    EXPECT_EQ(readFile(parent / "Veltrop - A-B- C"), "not a folder");

    // No intermediate folders are made.
    auto created = HandoverPackage::createPackageFolder(parent / "missing", "Survey");
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().description(), "Could not create a new handover folder");
    EXPECT_FALSE(fs::exists(parent / "missing"));
}

// A package with one result of every kind, its copies written as small JPEGs.
class HandoverReports : public ::testing::Test {
protected:
    void SetUp() override {
        auto created = HandoverPackage::createPackageFolder(parent.path(), "Bridge survey");
        ASSERT_TRUE(created);
        package = *created;
        configuration.project = PhotoProject{"  Bridge survey\n", "Pier 4", "R", 1, true, true};
        configuration.removeGPS = true;

        // Named apart from its source, so that messages show which name they use.
        const fs::path copy = HandoverPackage::photosFolder(package) / "a-copy.jpg";
        writeHalvesJpeg(copy, 96, 64, grey, light);
        FileResult stamped{parent / "in" / "a.jpg", FileOutcome::stamped(copy), record("a.jpg", "R-0001")};
        stamped.record->recordedDate = CaptureDate{2024, 5, 1, 9, 30, 15, CaptureDateSource::dateTimeOriginal};
        stamped.record->resolvedDate = CaptureDate{2024, 5, 2, 9, 30, 15, CaptureDateSource::suppliedDate};
        stamped.record->correction = "Supplied date";
        stamped.record->warnings = {"Capture and digitised dates differ", "Outside expected project dates"};
        stamped.record->dateFields = {{CaptureDateSource::tiffDateTime, "2024:05:03 00:00:00"},
                                      {CaptureDateSource::dateTimeOriginal, "2024:05:01 09:30:15 "},
                                      {CaptureDateSource::dateTimeOriginal, "ignored second original"}};

        // Exported outside the package: named by file name only.
        const fs::path outside = parent / "elsewhere" / "b.jpg";
        writeHalvesJpeg(outside, 64, 96, light, light);
        FileResult unreferenced{parent / "in" / "b.jpg", FileOutcome::stamped(outside), record("b.jpg", "")};
        unreferenced.outcome.lossless = true;

        FileResult failed{parent / "in" / "c.jpg",
                          FileOutcome::failed(UnexpectedFailure{"=HYPERLINK(\"x\")\nsecond line"}),
                          record("c.jpg", "-R-0003")};
        FileResult skipped{parent / "in" / "d.jpg", FileOutcome::skippedNoDate(), record("d.jpg", "R-0004")};
        FileResult untouched{parent / "in" / "e.jpg", FileOutcome::notProcessed(), std::nullopt};
        summary.results = {stamped, unreferenced, failed, skipped, untouched};
        // The originals of the two copies, for Sources.sha256.
        writeFile(parent / "in" / "a.jpg", "original a");
        writeFile(parent / "in" / "b.jpg", "original b");
    }

    TempDir parent;
    fs::path package;
    StampConfiguration configuration;
    BatchSummary summary;
};

TEST_F(HandoverReports, IndexAccountsForEveryInput) {
    const std::string text = PhotoIndex::text(summary, package, configuration);
    ASSERT_TRUE(text.starts_with("\xEF\xBB\xBF\"Reference\",\"Project\","));
    EXPECT_TRUE(text.ends_with("\r\n"));
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);

    const auto rows = parseQuotedCsv(text);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0], std::vector<std::string>(PhotoIndex::headers.begin(), PhotoIndex::headers.end()));
    for (const auto& row : rows) ASSERT_EQ(row.size(), 19u);

    const std::string retained = "Source date metadata retained; corrections affect stamps, names and this index";
    EXPECT_EQ(rows[1], (std::vector<std::string>{
                           "R-0001", "Bridge survey", "Pier 4", "Site/a.jpg", "Photos/a-copy.jpg", "Exported",
                           "2024-05-01 09:30:15", "EXIF capture date", "2024-05-02 09:30:15", "User-supplied date",
                           "Supplied date", "Canon EOS 20D",
                           "Capture and digitised dates differ; Outside expected project dates",
                           "2024:05:01 09:30:15 ", "", "2024:05:03 00:00:00", "Removed", retained, "No"}));
    EXPECT_EQ(rows[2][4], "b.jpg");
    EXPECT_EQ(rows[2][16], "Removed");
    EXPECT_EQ(rows[2][18], "Yes");
    // Formula-like fields get an apostrophe; quotes inside are doubled and read back.
    const std::vector<std::string> failed{"'-R-0003", "Bridge survey", "Pier 4", "Site/c.jpg", "",
                                          "Failed: =HYPERLINK(\"x\")\nsecond line", "", "", "", "", "",
                                          "Canon EOS 20D", "", "", "", "", "Not exported", "Not exported",
                                          "Not exported"};
    EXPECT_EQ(rows[3], failed);
    std::vector<std::string> skipped = failed;
    skipped[0] = "R-0004", skipped[3] = "Site/d.jpg", skipped[5] = "Skipped: no usable date";
    EXPECT_EQ(rows[4], skipped);
    // Without a record only the file name, the status and the export columns are filled.
    std::vector<std::string> bare(19);
    bare[3] = "e.jpg";
    bare[5] = "Not processed";
    bare[16] = bare[17] = bare[18] = "Not exported";
    EXPECT_EQ(rows[5], bare);
    EXPECT_EQ(text.find(parent.path().string()), std::string::npos) << "no absolute paths in the index";

    configuration.removeGPS = false;
    const auto kept = parseQuotedCsv(PhotoIndex::text(summary, package, configuration));
    EXPECT_EQ(kept[1][16], "Retained if present");
    EXPECT_EQ(kept[3][16], "Not exported");
}

TEST(PhotoIndex, QuotesAndDefusesFields) {
    const struct {
        std::string field, written;
    } cases[] = {
        {"", "\"\""}, {"plain", "\"plain\""}, {"=1+1", "\"'=1+1\""}, {"+49 30", "\"'+49 30\""}, {"-2", "\"'-2\""},
        {"@SUM(A1)", "\"'@SUM(A1)\""}, {" \t=cmd", "\"' \t=cmd\""}, {"a=b", "\"a=b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""}, {"=\"x\"", "\"'=\"\"x\"\"\""}, {"two\r\nlines", "\"two\r\nlines\""},
    };
    for (const auto& c : cases) EXPECT_EQ(PhotoIndex::quotedField(c.field), c.written) << c.field;
}

TEST_F(HandoverReports, ContactSheetPagesTextAndDocumentInformation) {
    const HandoverPackageResult result = HandoverPackage::buildReports(summary, package, configuration);
    EXPECT_EQ(result, (HandoverPackageResult{package, package / "Photo index.csv", package / "Contact sheet.pdf",
                                             std::nullopt}));
    EXPECT_EQ(entryNames(package), (std::vector<std::string>{".veltrop-package", "Checksums.sha256", "Contact sheet.pdf",
                                                        "Photo index.csv", "Photos", "Sources.sha256"}));
    const fs::path pdf = package / "Contact sheet.pdf";
    EXPECT_EQ(pdfInfo(pdf, "Title"), "Bridge survey");
    EXPECT_EQ(pdfInfo(pdf, "Creator"), "Veltrop");
    EXPECT_EQ(pdfInfo(pdf, "Pages"), "2");
    EXPECT_TRUE(pdfInfo(pdf, "Page size").starts_with("595 x 842 pts")) << pdfInfo(pdf, "Page size");

    const std::string first = pageText(pdf, 1);
    for (const char* expected :
         {"Bridge survey", "Pier 4", "2 of 5 exported \u00B7 1 skipped \u00B7 1 failed \u00B7 1 not processed",
          "R-0001 \u00B7 a.jpg", "2024-05-02 09:30:15", "User-supplied date \u00B7 Supplied date", "No date",
          "Veltrop \u00B7 1 of 2"})
        EXPECT_NE(first.find(expected), std::string::npos) << expected << "\n" << first;
    // The caption of a copy without a reference shows only its name.
    EXPECT_NE(first.find("\nb.jpg\n"), std::string::npos) << first;
    EXPECT_EQ(first.find("Cancelled"), std::string::npos);

    const std::string second = pageText(pdf, 2);
    for (const char* expected :
         {"Images not exported \u2014 full details in Photo index.csv", "-R-0003 \u00B7 c.jpg",
          "Failed: =HYPERLINK(\"x\") second line", "R-0004 \u00B7 d.jpg", "Skipped: no usable date", "e.jpg",
          "Not processed", "Veltrop \u00B7 2 of 2"})
        EXPECT_NE(second.find(expected), std::string::npos) << expected << "\n" << second;

    // The thumbnails are stored as JPEG data, the text in Liberation Sans.
    const std::string images = run("pdfimages -list " + shellQuoted(pdf));
    EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2 + 2) << images;
    EXPECT_NE(images.find("jpeg"), std::string::npos) << images;
    EXPECT_NE(run("pdffonts " + shellQuoted(pdf)).find("LiberationSans"), std::string::npos);
}

TEST_F(HandoverReports, FileDateFallbackReadsAsFileDateInIndexAndSheet) {
    // A photo without a recorded date, resolved through the file date.
    const fs::path source = parent / "in" / "f.jpg";
    writeHalvesJpeg(source, 64, 48, grey, light);
    configuration.useFileDateFallback = true;
    const auto photos = veltrop::exporting::PhotoDiscovery::makePhotos({source}, {source});
    const PhotoRecord made = veltrop::records::makeRecord(photos.front(), 0, configuration, {}, std::nullopt);
    const fs::path copy = HandoverPackage::photosFolder(package) / "f.jpg";
    writeHalvesJpeg(copy, 64, 48, grey, light);
    summary.results = {FileResult{source, FileOutcome::stamped(copy), made}};

    const auto rows = parseQuotedCsv(PhotoIndex::text(summary, package, configuration));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][9], "File date");
    EXPECT_EQ(rows[1][12], "No recorded capture date; Using file date");

    const HandoverPackageResult result = HandoverPackage::buildReports(summary, package, configuration);
    ASSERT_FALSE(result.error) << *result.error;
    std::string sheet = pageText(package / "Contact sheet.pdf", 1);
    std::replace(sheet.begin(), sheet.end(), '\n', ' ');
    EXPECT_NE(sheet.find("Using file date"), std::string::npos) << sheet;
    EXPECT_EQ(sheet.find("Finder"), std::string::npos) << sheet;
}

TEST_F(HandoverReports, ExistingReportsArePreservedAndReported) {
    writeFile(package / "Photo index.csv", "keep me");
    fs::remove(HandoverPackage::photosFolder(package) / "a-copy.jpg");

    const HandoverPackageResult result = HandoverPackage::buildReports(summary, package, configuration);
    EXPECT_FALSE(result.index);
    EXPECT_FALSE(result.contactSheet);
    EXPECT_EQ(result.error, "Could not save Photo index.csv; existing files were preserved\n"
                            "Could not read the exported preview for a.jpg");
    EXPECT_EQ(readFile(package / "Photo index.csv"), "keep me");
    EXPECT_EQ(entryNames(package), (std::vector<std::string>{".veltrop-package", "Checksums.sha256", "Photo index.csv",
                                                        "Photos", "Sources.sha256"}));
}

TEST_F(HandoverReports, UnreadableCopyFailsOnlyTheContactSheet) {
    writeFile(HandoverPackage::photosFolder(package) / "a-copy.jpg", "\xFF\xD8\xFF truncated");
    const HandoverPackageResult result = HandoverPackage::buildReports(summary, package, configuration);
    EXPECT_TRUE(result.index);
    EXPECT_FALSE(result.contactSheet);
    EXPECT_EQ(result.error, "Could not read the exported preview for a.jpg");
    EXPECT_FALSE(fs::exists(package / "Contact sheet.pdf"));
}

// Six thumbnails to a page, then the photos not exported; every page has
// the footer, and an empty batch one page that says so.
TEST(ContactSheet, PagesOfACancelledOrEmptyBatch) {
    TempDir folder;
    BatchSummary summary;
    summary.wasCancelled = true;
    for (int i = 0; i < 7; ++i) {
        const fs::path copy = folder / ("copy" + std::to_string(i) + ".jpg");
        writeHalvesJpeg(copy, 40, 30, grey, light);
        summary.results.push_back({folder / ("in" + std::to_string(i) + ".jpg"), FileOutcome::stamped(copy), {}});
    }
    for (int i = 0; i < 13; ++i)
        summary.results.push_back({folder / ("left" + std::to_string(i) + ".jpg"), FileOutcome::notProcessed(), {}});

    const fs::path pdf = sheetFile(folder, summary);  // no project
    EXPECT_EQ(pdfInfo(pdf, "Pages"), "4");
    EXPECT_EQ(pdfInfo(pdf, "Title"), "Photo records");
    for (int page = 1; page <= 4; ++page) {
        const std::string text = pageText(pdf, page);
        const std::string footer = "Veltrop \u00B7 " + std::to_string(page) + " of 4 \u00B7 Cancelled batch";
        EXPECT_NE(text.find(footer), std::string::npos) << text;
        EXPECT_NE(text.find(page <= 2 ? "Contact sheet" : "Images not exported"), std::string::npos) << text;
    }
    EXPECT_NE(pageText(pdf, 4).find("left12.jpg"), std::string::npos);

    // Empty, with a title of only white space.
    StampConfiguration configuration;
    configuration.project = PhotoProject{};
    configuration.project->title = " \n";
    const fs::path empty = sheetFile(folder, BatchSummary{}, configuration);
    EXPECT_EQ(pdfInfo(empty, "Pages"), "1");
    EXPECT_EQ(pdfInfo(empty, "Title"), "Photo records");
    const std::string text = pageText(empty, 1);
    EXPECT_NE(text.find("0 of 0 exported \u00B7 0 skipped \u00B7 0 failed \u00B7 0 not processed"), std::string::npos);
    EXPECT_NE(text.find("No images were exported. See the index and issue pages for the outcome of every input."),
              std::string::npos)
        << text;
}

// Renders the first page at one pixel per point and finds where each colour landed.
TEST(ContactSheet, ThumbnailIsUprightAndFittedInItsBox) {
    TempDir folder;
    // Stored landscape, red on the left; orientation 6 shows it portrait with red on top.
    const fs::path copy = folder / "portrait.jpg";
    writeHalvesJpeg(copy, 300, 200, {0, 0, 255, 255}, {255, 0, 0, 255}, 6);
    BatchSummary summary;
    summary.results.push_back({folder / "portrait.jpg", FileOutcome::stamped(copy), {}});
    run("pdftoppm -png -r 72 -f 1 -l 1 " + shellQuoted(sheetFile(folder, summary)) + " " + shellQuoted(folder / "page"));
    auto page = veltrop::exporting::ImageLoader::load(folder / "page-1.png");
    ASSERT_TRUE(page) << "pdftoppm made no page";
    ASSERT_EQ(page->pixelSize(), (veltrop::exporting::PixelSize{595, 842}));
    const auto red = probe::boxWhere(page->image, [](probe::Bgra p) { return p.r > 200 && p.b < 60; });
    const auto blue = probe::boxWhere(page->image, [](probe::Bgra p) { return p.b > 200 && p.r < 60; });
    ASSERT_TRUE(red && blue);
    // 200 × 300 upright, scaled by 158 / 300 into the first box (x 32…290, top 842 − 738 = 104).
    const double drawnWidth = 200 * 158.0 / 300;
    const double left = 32 + (258 - drawnWidth) / 2;
    EXPECT_NEAR(red->left, left, 2);
    EXPECT_NEAR(blue->right, left + drawnWidth, 2);
    EXPECT_NEAR(red->top, 104, 2);
    EXPECT_NEAR(blue->bottom, 104 + 158, 2);
    EXPECT_NEAR(red->bottom, 104 + 79, 3);
    EXPECT_LT(red->bottom, blue->top + 4);
}

TEST(ContactSheet, HostileAndLongNamesStillGiveReports) {
    TempDir folder;
    const std::string longName(300, 'w');
    BatchSummary summary;
    summary.results.push_back({folder / "bad\xFF\xFEname.jpg", FileOutcome::failed(UnexpectedFailure{"a\r\nb\u2028c"}), {}});
    summary.results.push_back({folder / "<b>&amp;%s.jpg", FileOutcome::skippedNoDate(), {}});
    summary.results.push_back({folder / (longName + ".jpg"), FileOutcome::failed(UnexpectedFailure{"short"}), {}});
    const std::string text = pageText(sheetFile(folder, summary), 2);
    for (const char* expected : {"name.jpg", "Failed: a b c", "<b>&amp;%s.jpg", "www\u2026"})
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
    EXPECT_EQ(text.find(longName), std::string::npos);

    // The index stays valid UTF-8 too.
    const auto rows = parseQuotedCsv(PhotoIndex::text(summary, folder.path(), {}));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][3], "bad\uFFFD\uFFFDname.jpg");
}
