#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "kit/platform/unicode.h"
#include "kit/platform/volume.h"
#include "kit/records/correction_effects.h"
#include "kit/records/path_key.h"
#include "kit/records/photo_record.h"
#include "kit/records/shift_text.h"
#include "support/test_support.h"

using namespace veltrop::records;
using veltrop::dates::CaptureDate;
using veltrop::dates::CaptureDateSource;
using veltrop::dates::PropertyDictionary;
using veltrop::records::DiscoveredPhoto;
using veltrop::settings::StampConfiguration;
using veltrop::testing::TempDir;
namespace fs = std::filesystem;
using Kind = ShiftTextError::Kind;

namespace {

CaptureDate exifDate(std::string_view text, CaptureDateSource source = CaptureDateSource::dateTimeOriginal) {
    return *veltrop::dates::CaptureDateReader::parseExifText(text, source);
}

DiscoveredPhoto photoWith(PropertyDictionary properties, std::filesystem::path url = "/site/day1/p.jpg") {
    DiscoveredPhoto photo;
    photo.url = url;
    photo.root = "/site";
    photo.relativeSubpath = "day1";
    photo.captureDate = veltrop::dates::CaptureDateReader::readRecordedDate(properties);
    photo.exif = veltrop::dates::ExifFields::fromProperties(properties);
    photo.dateAudit = PhotoDateAudit::fromProperties(properties);
    return photo;
}

PropertyDictionary dated(std::string original, std::string digitized = "", std::string tiff = "") {
    PropertyDictionary exif, tiffGroup{{"Make", "Canon"}, {"Model", "Canon EOS R5"}};
    if (!original.empty()) exif["DateTimeOriginal"] = original;
    if (!digitized.empty()) exif["DateTimeDigitized"] = digitized;
    if (!tiff.empty()) tiffGroup["DateTime"] = tiff;
    return {{"Exif", exif}, {"TIFF", tiffGroup}};
}

DateCorrectionRule shiftRule(DateCorrectionScope scope, std::int64_t seconds) {
    DateCorrectionRule rule;
    rule.scope = std::move(scope);
    rule.offsetSeconds = seconds;
    return rule;
}

DateCorrectionRule supplyRule(DateCorrectionScope scope, std::string_view text) {
    DateCorrectionRule rule;
    rule.scope = std::move(scope);
    rule.suppliedDate = parseSuppliedText(text);
    return rule;
}

}  // namespace

TEST(DateAudit, WarningsFollowTheRecordedFields) {
    const PropertyDictionary numeric{{"Exif", PropertyDictionary{{"DateTimeOriginal", 20260814.0}}}};
    const std::pair<PropertyDictionary, std::vector<std::string>> cases[] = {
        // Agreeing EXIF dates with a different TIFF date: nothing to report.
        {dated("2026:08:14 06:17:49", "2026:08:14 06:17:49", "2026:09:01 10:00:00"), {}},
        {dated("2026:08:14 06:17:49", "2026:08:14 06:17:50"), {"Capture and digitised dates differ"}},
        {dated("0000:00:00 00:00:00", "2026:08:14 06:17:49", "2020:01:01 00:00:00"),
         {"Invalid date metadata", "Using digitised date"}},
        {dated("", "", "2026:08:14 06:17:49"), {"Using TIFF date; it may describe an edit"}},
        // A date stored as a number is neither a candidate nor a warning.
        {numeric, {"No recorded capture date"}},
    };
    const auto record = [](const PropertyDictionary& properties) {
        return makeRecord(photoWith(properties), 0, {}, {}, std::nullopt);
    };
    for (const auto& [properties, warnings] : cases) EXPECT_EQ(record(properties).warnings, warnings);
    EXPECT_FALSE(needsAttention(record(cases[0].first)));
    EXPECT_EQ(record(cases[2].first).resolvedDate, exifDate("2026:08:14 06:17:49", CaptureDateSource::dateTimeDigitized));
    const PhotoRecord none = record(numeric);
    EXPECT_TRUE(none.dateFields.empty());
    EXPECT_EQ(none.camera, "Unknown camera");
    EXPECT_TRUE(needsAttention(none));
}

TEST(DateAudit, FileDateFallbackIsReportedAndAttentionClearsOnCorrection) {
    veltrop::testing::TempDir dir;
    veltrop::testing::writeFile(dir / "p.jpg", "x");
    StampConfiguration config;
    config.useFileDateFallback = true;
    auto photo = photoWith({}, dir / "p.jpg");
    auto record = makeRecord(photo, 0, config, {}, std::nullopt);
    EXPECT_EQ(record.warnings, (std::vector<std::string>{"No recorded capture date", "Using file date"}));
    ASSERT_TRUE(record.resolvedDate);
    EXPECT_EQ(record.resolvedDate->source, CaptureDateSource::fileDate);
    EXPECT_FALSE(record.recordedDate);

    auto digitised = photoWith(dated("", "2026:08:14 06:17:49"));
    EXPECT_TRUE(needsAttention(makeRecord(digitised, 0, config, {}, std::nullopt)));
    const std::vector rules{shiftRule(DateCorrectionScope::all(), 60)};
    auto corrected = makeRecord(digitised, 0, config, rules, std::nullopt);
    EXPECT_EQ(corrected.correction, "Clock adjustment +1 min");
    EXPECT_FALSE(needsAttention(corrected));
}

TEST(DateCorrection, MostRecentMatchingRuleWins) {
    const StampConfiguration config;
    auto canon = photoWith(dated("2026:08:14 06:17:49"));
    PropertyDictionary nikonProps = dated("2026:08:14 06:17:49");
    nikonProps["TIFF"] = PropertyDictionary{{"Make", "NIKON"}, {"Model", "D90"}};
    auto nikon = photoWith(nikonProps);

    const std::vector rules{shiftRule(DateCorrectionScope::all(), 3600),
                            supplyRule(DateCorrectionScope::camera("Canon EOS R5"), "2020-01-02 03:04:05")};
    EXPECT_EQ(text(*resolveDate(canon, config, rules).resolved), "2020-01-02 03:04:05");
    EXPECT_EQ(resolveDate(canon, config, rules).resolved->source, CaptureDateSource::suppliedDate);
    EXPECT_EQ(text(*resolveDate(nikon, config, rules).resolved), "2026-08-14 07:17:49");

    const std::vector later{shiftRule(DateCorrectionScope::camera("Canon EOS R5"), 1800),
                            shiftRule(DateCorrectionScope::all(), -600)};
    auto resolution = resolveDate(canon, config, later);
    EXPECT_EQ(text(*resolution.resolved), "2026-08-14 06:07:49");
    EXPECT_EQ(resolution.resolved->source, CaptureDateSource::dateTimeOriginal);  // a shift keeps the source
}

TEST(DateCorrection, PreparedRulesMatchLikeSingleScopes) {
    // Prepared once for many photos, a scope must take in exactly the photos
    // it takes in on its own, in spellings that differ only in form.
    const std::vector<DateCorrectionScope> scopes{
        DateCorrectionScope::folder("/a/b"),        DateCorrectionScope::folder("/a/./b/"),
        DateCorrectionScope::folder("/a/x/../b"),   DateCorrectionScope::folder("/a//b"),
        DateCorrectionScope::photo("/a/b/q.jpg"),   DateCorrectionScope::photo("/a//b/q.jpg"),
        DateCorrectionScope::photo("/a/b/q.jpg/"),  DateCorrectionScope::camera("Canon EOS R5"),
        DateCorrectionScope::all(),
    };
    PropertyDictionary canonProps = dated("2026:08:14 06:17:49");
    std::vector<DiscoveredPhoto> photos;
    for (const char* url : {"/a/b/q.jpg", "/a/b/c/r.jpg", "/a//b/q.jpg", "/a/bc/q.jpg", "/a/./b/q.jpg", "/z/q.jpg"})
        photos.push_back(photoWith(canonProps, url));
    photos.push_back(photoWith({}, "/a/b/q.jpg"));  // no camera
    for (std::size_t s = 0; s < scopes.size(); ++s) {
        const std::vector rules{shiftRule(scopes[s], 60)};
        const CorrectionRules prepared(rules);
        std::vector<bool> marked;
        for (const auto& photo : photos) {
            prepared.markMatches(photo, marked);
            EXPECT_EQ(prepared.latestMatch(photo) != nullptr, matches(scopes[s], photo))
                << "scope " << s << " photo " << photo.url;
        }
        EXPECT_EQ(marked[0], std::ranges::any_of(photos, [&](const auto& p) { return matches(scopes[s], p); }));
    }
    // What each scope takes in.
    EXPECT_TRUE(matches(DateCorrectionScope::folder("/a/b"), photos[1]));  // in a subfolder
    EXPECT_TRUE(matches(DateCorrectionScope::folder("/a/./b/"), photos[1]));
    EXPECT_FALSE(matches(DateCorrectionScope::folder("/a/b"), photos[3]));  // a sibling folder
    EXPECT_TRUE(matches(DateCorrectionScope::photo("/a//b/q.jpg"), photos[0]));
    EXPECT_FALSE(matches(DateCorrectionScope::photo("/a/b/q.jpg/"), photos[0]));
    EXPECT_FALSE(matches(DateCorrectionScope::camera("Unknown camera"), photos[6]));  // no camera text at all
}

TEST(DateCorrection, WallClockShiftAcrossCalendarEdges) {
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"2024:02:28 23:30:00", "2024-02-29 00:30:00"},
        {"2023:02:28 23:30:00", "2023-03-01 00:30:00"},
        {"1900:02:28 23:30:00", "1900-03-01 00:30:00"},
    };
    for (const auto& [input, expected] : cases) EXPECT_EQ(text(*shifted(exifDate(input), 3600)), expected);
    EXPECT_EQ(text(*shifted(exifDate("2026:12:31 23:59:59"), 1)), "2027-01-01 00:00:00");
    EXPECT_EQ(text(*shifted(exifDate("0001:01:01 00:30:00"), -1800)), "0001-01-01 00:00:00");
    EXPECT_EQ(text(*shifted(exifDate("2026:03:01 00:00:00"), -maximumShiftSeconds)), "2025-02-28 00:00:00");
    EXPECT_FALSE(shifted(exifDate("2026:03:01 00:00:00"), maximumShiftSeconds + 1));
    EXPECT_FALSE(shifted(exifDate("9999:12:31 23:00:00"), 3600));
    EXPECT_FALSE(shifted(exifDate("0001:01:01 00:00:00"), -1));
    EXPECT_FALSE(shifted(exifDate("2026:12:31 23:59:60"), 5));
    EXPECT_EQ(shifted(exifDate("2026:12:31 23:59:60"), 0), exifDate("2026:12:31 23:59:60"));

    const StampConfiguration config;
    auto photo = photoWith(dated("2026:08:14 06:17:49"));
    const std::vector tooFar{shiftRule(DateCorrectionScope::all(), maximumShiftSeconds + 1)};
    auto resolution = resolveDate(photo, config, tooFar);
    EXPECT_FALSE(resolution.resolved);
    EXPECT_EQ(resolution.error, DateResolutionError::shiftOutOfRange);

    // A shift of a photo without any date is not an error.
    auto undated = photoWith({});
    auto none = makeRecord(undated, 0, config, tooFar, std::nullopt);
    EXPECT_FALSE(none.resolvedDate);
    EXPECT_FALSE(none.error);
    EXPECT_EQ(none.correction, "Clock adjustment +527040 min");
}

TEST(DateCorrection, RuleAndScopeTexts) {
    // Whole minutes, rounded towards zero, always signed.
    const std::pair<std::int64_t, std::string_view> shifts[] = {
        {5400, "+90 min"}, {-5400, "-90 min"}, {-60, "-1 min"}, {-59, "+0 min"}, {30, "+0 min"}};
    for (auto [seconds, minutes] : shifts)
        EXPECT_EQ(text(shiftRule(DateCorrectionScope::all(), seconds)), "Clock adjustment " + std::string(minutes));
    EXPECT_EQ(text(supplyRule(DateCorrectionScope::all(), "2026-08-14 06:17:49")),
              "Date supplied: 2026-08-14 06:17:49");
    EXPECT_EQ(label(DateCorrectionScope::folder("/x/site/day1")), "Folder: site/day1");
    EXPECT_EQ(label(DateCorrectionScope::photo("/x/p.jpg")), "Photo: p.jpg");
}

TEST(DateCorrection, SuppliedTextShape) {
    for (auto good : {"2026-08-14 06:17:49", "  2026-08-14   06:17:49 \n"})
        EXPECT_TRUE(parseSuppliedText(good)) << good;
    for (auto bad : {"2026-8-14 06:17:49", "2026-02-30 10:00:00", "2026-08-14 06:17:60", "2026/08/14 06:17:49",
                     "2026-08-14T06:17:49", "2026-08-14 06:17:49 x", "-026-08-14 06:17:49", "2026--8-14 06:17:49"})
        EXPECT_FALSE(parseSuppliedText(bad)) << bad;
    EXPECT_EQ(parseSuppliedText("2026-08-14 06:17:49")->source, CaptureDateSource::suppliedDate);
}

TEST(PhotoRecord, ReferenceNumbering) {
    const struct {
        const char* prefix;
        std::int64_t first, index;
        const char* expected;
    } cases[] = {
        {"SITE", 1, 0, "SITE-0001"}, {"SITE", 1, 41, "SITE-0042"}, {"SITE", 1, -5, "SITE-0001"},
        {"  ", 1, 0, "0001"},        {" A ", 12345, 0, "A-12345"}, {" A ", 0, 0, "A-0001"},
        {"A", 5000000, 1, "A-1000000"}, {"A", 5000000, std::numeric_limits<std::int64_t>::max(), "A-9223372036854775807"},
    };
    for (const auto& c : cases) {
        veltrop::settings::PhotoProject project;
        project.referencePrefix = c.prefix;
        project.firstNumber = c.first;
        EXPECT_EQ(reference(project, c.index), c.expected) << c.prefix << " " << c.first << " " << c.index;
    }
}

TEST(PhotoRecord, ProjectLabelsPathsAndRange) {
    StampConfiguration config;
    auto photo = photoWith(dated("2026:08:31 23:59:59"));
    photo.batchOrdinal = 2;
    auto plain = makeRecord(photo, 7, config, {}, std::nullopt);
    EXPECT_EQ(plain.reference, "IMG-0003");
    EXPECT_EQ(plain.sourcePath, "site/day1/p.jpg");
    EXPECT_FALSE(stripLine(config, plain));
    EXPECT_EQ(effectiveStrip(config, plain).label, "");

    config.project = veltrop::settings::PhotoProject{};
    config.project->title = "Bridge survey";
    config.project->referencePrefix = "R";
    auto record = makeRecord(photo, 7, config, {}, std::nullopt);
    EXPECT_EQ(stripLine(config, record), "R-0003  \u00b7  p.jpg");
    EXPECT_EQ(effectiveStrip(config, record).label, "Bridge survey");
    config.strip.label = "X";
    EXPECT_EQ(effectiveStrip(config, record).label, "X");

    auto single = photo;
    single.root = single.url;
    single.relativeSubpath = "";
    EXPECT_EQ(makeRecord(single, 0, config, {}, std::nullopt).sourcePath, "p.jpg");

    const auto august = ExpectedDateRange::days(2026, 8, 1, 2026, 8, 31);
    EXPECT_TRUE(isValid(august));
    EXPECT_TRUE(makeRecord(photo, 0, config, {}, august).warnings.empty());
    auto late = photoWith(dated("2026:09:01 00:00:00"));
    auto outside = makeRecord(late, 0, config, {}, august);
    EXPECT_EQ(outside.warnings, std::vector<std::string>{"Outside expected project dates"});
    const std::vector fix{shiftRule(DateCorrectionScope::all(), -60)};
    EXPECT_TRUE(needsAttention(makeRecord(late, 0, config, std::vector{shiftRule(DateCorrectionScope::all(), 60)}, august)));
    EXPECT_FALSE(needsAttention(makeRecord(late, 0, config, fix, august)));
}

TEST(DateCorrection, RulesFromTheReviewForm) {
    // Days, hours and minutes; the total must be one non-zero shift within 366 days.
    for (auto [days, hours, minutes] : {std::tuple{366, 1, 0}, {0, 0, 0}, {0, 24, 0}, {-367, 0, 0}})
        EXPECT_EQ(makeShiftRule(DateCorrectionScope::all(), days, hours, minutes).error(),
                  "Use a total shift within 366 days in either direction.");
    EXPECT_EQ(makeShiftRule(DateCorrectionScope::all(), -1, 0, 0)->offsetSeconds, -86400);
    EXPECT_EQ(makeShiftRule(DateCorrectionScope::all(), 366, 0, 0)->offsetSeconds, maximumShiftSeconds);
    EXPECT_EQ(makeSupplyRule(DateCorrectionScope::all(), "2026-02-30 12:00:00").error(),
              "Enter a valid date as YYYY-MM-DD HH:MM:SS.");
    auto supply = makeSupplyRule(DateCorrectionScope::photo("/p.jpg"), "2026-02-28 12:00:00");
    ASSERT_TRUE(supply);
    EXPECT_EQ(supply->offsetSeconds, 0);
    EXPECT_NE(supply->id, makeSupplyRule(DateCorrectionScope::all(), "2026-02-28 12:00:00")->id);
}

TEST(CorrectionEffects, CountsOnlyTheWinningRuleAndRealChanges) {
    const CaptureDate noon{2026, 8, 14, 12, 0, 0, CaptureDateSource::dateTimeOriginal};
    const auto photo = [](std::string url, std::string model, std::optional<CaptureDate> date) {
        DiscoveredPhoto p;
        p.url = url;
        p.root = "/site";
        p.exif.model = std::move(model);
        p.captureDate = date;
        return p;
    };
    const std::vector<DiscoveredPhoto> photos{
        photo("/site/a/1.jpg", "NIKON D3100", noon),
        photo("/site/a/2.jpg", "NIKON D3100", std::nullopt),
        photo("/site/b/3.jpg", "Canon EOS R5", noon),
        photo("/site/b/4.jpg", "PENTAX K-1", CaptureDate{9999, 12, 31, 23, 30, 0}),
        photo("/site/c/5.jpg", "Canon EOS R5", noon),
    };
    const std::vector<DateCorrectionRule> rules{
        // 1.jpg; 2.jpg has no date to shift.
        shiftRule(DateCorrectionScope::all(), 3600),
        // 3.jpg is taken by later rules; 4.jpg would pass year 9999 and fails.
        shiftRule(DateCorrectionScope::folder("/site/b"), 3600),
        // 5.jpg; 3.jpg is taken by the next rule.
        supplyRule(DateCorrectionScope::camera("Canon EOS R5"), "2026-08-15 09:00:00"),
        // The date 3.jpg records already: no change.
        supplyRule(DateCorrectionScope::photo("/site/b/3.jpg"), "2026-08-14 12:00:00"),
        shiftRule(DateCorrectionScope::camera("nikon"), 60),
    };
    EXPECT_EQ(rulesMatchingNothing(rules, photos), (std::vector<std::size_t>{4}));
    EXPECT_EQ(rulesMatchingNothing(rules, {}), (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(changedPhotoCounts(rules, photos, {}), (std::vector<std::size_t>{1, 0, 1, 0, 0}));

    // A supplied date is a change for the undated photo and the one recorded otherwise.
    const std::vector supplied{supplyRule(DateCorrectionScope::all(), "2026-08-14 12:00:00")};
    EXPECT_EQ(changedPhotoCounts(supplied, photos, {}), (std::vector<std::size_t>{2}));
}

TEST(PathKey, DifferentSpellingsOfOneLocationAgree) {
    TempDir dir;
    fs::create_directories(dir / "real" / "sub");
    fs::create_directory_symlink(dir / "real", dir / "link");
    const std::string key = pathKey(dir / "real" / "sub" / "new" / "a.jpg");
    EXPECT_EQ(pathKey(dir / "link" / "sub" / "new" / "a.jpg"), key);
    EXPECT_EQ(pathKey(dir / "link" / "x" / ".." / "sub" / "." / "new" / "a.jpg"), key);
    EXPECT_EQ(pathKey(dir / "real/sub//new/a.jpg/"), key);
    EXPECT_EQ(pathKey(dir / "caf\u00e9"), pathKey(dir / "cafe\u0301"));
}

TEST(PathKey, AsksTheVolumeOfTheExistingPart) {
    TempDir dir;
    fs::create_directories(dir / "Real");
    fs::path asked;
    const auto folding = [&asked](const fs::path& existing) {
        asked = existing;
        return false;
    };
    EXPECT_EQ(pathKey(dir / "Real" / "Missing" / "\u00c9.JPG", folding),
              veltrop::platform::caseFolded(pathKey(dir / "Real" / "missing" / "\u00e9.jpg", folding)));
    EXPECT_EQ(asked, fs::canonical(dir / "Real"));
    // A volume that cannot be asked counts as case-insensitive.
    EXPECT_FALSE(veltrop::platform::isCaseSensitive("/nonexistent/veltrop/volume/query"));
}

// Generated shifts: any subset of d, h, m, s in order, with any amounts and
// either sign, reads as the sum of its parts. The answer is computed here
// from the parts, not by the parser's own arithmetic.
TEST(ShiftText, GeneratedShiftsReadAsTheSumOfTheirParts) {
    std::mt19937 random(20260814);
    constexpr std::pair<char, std::int64_t> units[] = {{'d', 86400}, {'h', 3600}, {'m', 60}, {'s', 1}};
    // Amounts up to these keep most totals within range while reaching past it often enough.
    constexpr std::int64_t largest[] = {400, 48, 150, 5000};
    int accepted = 0, refused = 0;
    for (int trial = 0; trial < 5000; ++trial) {
        const int sign = random() % 3;  // none, "+", "-"
        std::string text = sign == 0 ? "" : sign == 1 ? "+" : "-";
        std::int64_t total = 0;
        bool any = false;
        for (std::size_t u = 0; u < 4; ++u) {
            if (random() % 2 == 0) continue;
            const std::int64_t amount = std::uniform_int_distribution<std::int64_t>(0, largest[u])(random);
            text += std::to_string(amount) + units[u].first;
            total += amount * units[u].second;
            any = true;
        }
        if (!any) continue;
        if (sign == 2) total = -total;
        const auto parsed = parseShiftText(text);
        if (total != 0 && total >= -maximumShiftSeconds && total <= maximumShiftSeconds) {
            ASSERT_TRUE(parsed) << text << ": " << parsed.error().description();
            EXPECT_EQ(*parsed, total) << text;
            ++accepted;
        } else {
            ASSERT_FALSE(parsed) << text;
            EXPECT_EQ(parsed.error().kind, Kind::outOfRange) << text;
            EXPECT_EQ(parsed.error().description(), errors::shiftNotAllowed);
            ++refused;
        }
    }
    // Both branches were taken often.
    EXPECT_GT(accepted, 1000);
    EXPECT_GT(refused, 100);
}

TEST(ShiftText, ExamplesAndRefusals) {
    // Generated shifts cover the other well-formed texts.
    const std::pair<std::string, std::int64_t> examples[] = {
        {"+1h30m", 5400}, {" -2d ", -172800}, {"+366d", 31622400}, {"-365d23h59m60s", -31622400}};
    for (const auto& [text, seconds] : examples) {
        const auto parsed = parseShiftText(text);
        ASSERT_TRUE(parsed) << text << ": " << parsed.error().description();
        EXPECT_EQ(*parsed, seconds) << text;
    }

    const std::tuple<std::string, Kind, char> refusals[] = {
        {"+30m1h", Kind::unitOrder, 'h'},  {"+1s1d", Kind::unitOrder, 'd'}, {"+1h1h", Kind::repeatedUnit, 'h'},
        {"+1h30m1h", Kind::repeatedUnit, 'h'},
        {"", Kind::malformed, 0},          {"+", Kind::malformed, 0},        {"1x", Kind::malformed, 0},
        {"+1", Kind::malformed, 0},        {"+h", Kind::malformed, 0},       {"+-1h", Kind::malformed, 0},
        {"+1h 30m", Kind::malformed, 0},   {"+1H", Kind::malformed, 0},      {"+1.5h", Kind::malformed, 0},
        {"+0h", Kind::outOfRange, 0},      {"+366d1s", Kind::outOfRange, 0}, {"+99999999999999999999d", Kind::outOfRange, 0},
    };
    for (const auto& [text, kind, unit] : refusals) {
        const auto parsed = parseShiftText(text);
        ASSERT_FALSE(parsed) << text << " gave " << *parsed;
        EXPECT_EQ(parsed.error().kind, kind) << text;
        EXPECT_EQ(parsed.error().unit, unit) << text;
    }
    EXPECT_EQ(parseShiftText("+30m1h").error().description(),
              "A shift names days, hours, minutes and seconds in that order (d, h, m, s); \u201Ch\u201D comes too "
              "late in \u201C+30m1h\u201D");
    EXPECT_EQ(parseShiftText("+1h1h").error().description(),
              "A shift names each unit once; \u201Ch\u201D appears twice in \u201C+1h1h\u201D");
}
