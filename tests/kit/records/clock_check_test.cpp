#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "kit/records/clock_check.h"
#include "kit/records/copy_date.h"
#include "support/test_support.h"

using namespace veltrop::records;
using veltrop::dates::ClockReading;
using veltrop::dates::PropertyDictionary;
using veltrop::dates::PropertyList;
using veltrop::records::DiscoveredPhoto;

namespace {

using veltrop::testing::utcSeconds;
const auto exifText = veltrop::testing::exifDateText;
const std::int64_t noonUtc = *utcSeconds("2024:05:14 12:00:00");

// One photo, built from the metadata a camera would write.
struct Shot {
    std::filesystem::path url = "/site/cam/a.jpg";
    PropertyDictionary exif, tiff{{"Model", "Field Cam"}}, gps;
    std::optional<std::int64_t> modified;  // wall-clock seconds

    Shot& at(std::filesystem::path file) { url = std::move(file); return *this; }
    Shot& by(std::string model) { tiff["Model"] = std::move(model); return *this; }
    Shot& taken(std::int64_t wall) { exif["DateTimeOriginal"] = exifText(wall); return *this; }
    Shot& digitized(std::int64_t wall) { exif["DateTimeDigitized"] = exifText(wall); return *this; }
    Shot& zoneTag(std::string offset) { exif["OffsetTimeOriginal"] = std::move(offset); return *this; }
    Shot& gpsTime(double utcSecondOfDay) {
        const double h = std::floor(utcSecondOfDay / 3600), m = std::floor(utcSecondOfDay / 60) - h * 60;
        gps["GPSTimeStamp"] = PropertyList{h, m, utcSecondOfDay - h * 3600 - m * 60};
        return *this;
    }
    Shot& gpsAt(std::int64_t utc) {
        gps["GPSDateStamp"] = exifText(utc).substr(0, 10);
        return gpsTime(static_cast<double>(utc % 86400));
    }
    Shot& longitude(double degrees) {
        gps["GPSLongitude"] = PropertyList{std::abs(degrees), 0.0, 0.0};
        gps["GPSLongitudeRef"] = degrees < 0 ? "W" : "E";
        gps["GPSLatitude"] = PropertyList{47.0, 0.0, 0.0};
        return *this;
    }
    Shot& fileWritten(std::int64_t wall) { modified = wall; return *this; }

    operator DiscoveredPhoto() const {
        const PropertyDictionary properties{{"Exif", exif}, {"TIFF", tiff}, {"GPS", gps}};
        DiscoveredPhoto photo;
        photo.url = url;
        photo.root = url.parent_path();
        photo.captureDate = veltrop::dates::CaptureDateReader::readRecordedDate(properties);
        photo.exif = veltrop::dates::ExifFields::fromProperties(properties);
        photo.clock = ClockReading::fromProperties(properties);
        photo.dateAudit = PhotoDateAudit::fromProperties(properties);
        if (modified)
            photo.clock.fileModified = veltrop::dates::CaptureDateReader::parseExifText(
                exifText(*modified), veltrop::dates::CaptureDateSource::fileDate);
        return photo;
    }
};

// n shots 97 s apart by a camera set to `zone` whose clock is `error` seconds ahead.
std::vector<DiscoveredPhoto> series(int n, std::int64_t zone, std::int64_t error, std::string folder = "/site/cam",
                                    std::string model = "Field Cam") {
    std::vector<DiscoveredPhoto> photos;
    for (int i = 0; i < n; ++i) {
        const std::int64_t utc = noonUtc + 97 * i;
        photos.push_back(
            Shot().at(folder + "/p" + std::to_string(i) + ".jpg").by(model).taken(utc + zone + error).gpsAt(utc));
    }
    return photos;
}

}  // namespace

TEST(ClockReading, ReadsZoneSubSecondsGpsTimeAndPlace) {
    const PropertyDictionary exif{{"OffsetTimeOriginal", "-04:00"}, {"SubSecTimeOriginal", "644 "}};
    const PropertyDictionary gps{{"GPSDateStamp", "2019:08:21"},
                                 {"GPSTimeStamp", PropertyList{23.0, 11.0, 25.63}},
                                 {"GPSLongitude", PropertyList{122.0, 20.24, 0.0}},
                                 {"GPSLongitudeRef", "W"}};
    const ClockReading reading = ClockReading::fromProperties({{"Exif", exif}, {"GPS", gps}});
    EXPECT_EQ(reading.offsetSeconds, -4 * 3600);
    EXPECT_DOUBLE_EQ(*reading.subSecond, 0.644);
    EXPECT_EQ(reading.gpsDay, (veltrop::dates::CalendarDay{2019, 8, 21}));
    EXPECT_DOUBLE_EQ(*reading.gpsSecondOfDay, 23 * 3600 + 11 * 60 + 25.63);
    EXPECT_NEAR(*reading.longitude, -122.33733, 1e-5);

    // What cameras write when they know nothing: each gives no value.
    const PropertyDictionary blankExif{{"OffsetTimeOriginal", "   :  "}, {"SubSecTimeOriginal", "x1"}};
    const PropertyDictionary blankGps{{"GPSDateStamp", ""},
                                      {"GPSTimeStamp", PropertyList{24.0, 0.0, 0.0}},
                                      {"GPSLongitude", PropertyList{0.0, 0.0, 0.0}},
                                      {"GPSLongitudeRef", "E"},
                                      {"GPSLatitude", PropertyList{0.0, 0.0, 0.0}}};
    EXPECT_EQ(ClockReading::fromProperties({{"Exif", blankExif}, {"GPS", blankGps}}), ClockReading{});

    const std::pair<const char*, std::optional<std::int64_t>> offsets[] = {
        {"+05:30", 19800},       {"-12:00", -43200},      {"+14:00", 50400},        {"+14:15", std::nullopt},
        {"+5:30", std::nullopt}, {"05:30", std::nullopt}, {"+05:60", std::nullopt}, {"Z", std::nullopt}};
    for (const auto& [text, seconds] : offsets) EXPECT_EQ(veltrop::dates::parseOffsetText(text), seconds) << text;
}

TEST(ClockCheck, FindsZoneAndClockErrorFromGpsTime) {
    struct Case {
        std::int64_t zone, error;
        std::optional<std::string> tag;
        std::optional<std::string> shift;  // the proposal's --shift text
    };
    const Case cases[] = {
        {2 * 3600, 433, std::nullopt, "-7m13s@camera=Field Cam"},
        {20700, 125, std::nullopt, "-2m5s@camera=Field Cam"},  // UTC+05:45 is a quarter-hour zone
        {3600, -360, std::nullopt, "+6m@camera=Field Cam"},
        {-7 * 3600, 1, std::nullopt, std::nullopt},  // within what whole seconds can tell
        {19800, -20, "+05:30", "+20s@camera=Field Cam"},
        {-4 * 3600, 5400, "-04:00", "-1h30m@camera=Field Cam"},  // a tag lets an error pass a quarter hour
    };
    for (const Case& c : cases) {
        auto photos = series(5, c.zone, c.error);
        if (c.tag)
            for (auto& photo : photos) photo.clock.offsetSeconds = veltrop::dates::parseOffsetText(*c.tag);
        const ClockCheck check = checkClocks(photos);
        ASSERT_EQ(check.estimates.size(), 1u);
        const ClockEstimate& estimate = check.estimates[0];
        EXPECT_EQ(estimate.zoneSeconds, c.zone) << c.error;
        EXPECT_EQ(estimate.zoneFromOffsetTag, c.tag.has_value());
        EXPECT_DOUBLE_EQ(*estimate.clockErrorSeconds, static_cast<double>(c.error));
        EXPECT_EQ(estimate.used, 5u);
        EXPECT_EQ(estimate.spreadSeconds, 0);
        if (c.shift) {
            ASSERT_EQ(check.proposals.size(), 1u) << *c.shift;
            EXPECT_EQ(check.proposals[0].shiftText, *c.shift);
            EXPECT_EQ(check.proposals[0].rule.offsetSeconds, -c.error);
            EXPECT_EQ(check.proposals[0].rule.scope, DateCorrectionScope::camera("Field Cam"));
            EXPECT_EQ(check.proposals[0].zoneSeconds, c.zone);
        } else {
            EXPECT_TRUE(check.proposals.empty());
        }
    }
}

TEST(ClockCheck, LeavesOutLaggingFarOffAndPlaceholderGpsTimes) {
    auto photos = series(6, 3600, 433);
    // A phone writing its last fix again 40 s later, a fix an hour off, and two placeholders.
    photos.push_back(
        Shot().at("/site/cam/stale.jpg").taken(noonUtc + 5 * 97 + 40 + 3600 + 433).gpsAt(noonUtc + 5 * 97));
    photos.push_back(Shot().at("/site/cam/far.jpg").taken(noonUtc + 3600 + 433 + 1000).gpsAt(noonUtc + 1000 - 3600));
    Shot dateOnly = Shot().at("/site/cam/d.jpg").taken(noonUtc + 3600 + 433);
    dateOnly.gps["GPSDateStamp"] = "2024:05:14";
    photos.push_back(dateOnly);
    photos.push_back(Shot().at("/site/cam/z.jpg").taken(noonUtc + 4033).gpsTime(0));

    const ClockCheck check = checkClocks(photos);
    ASSERT_EQ(check.estimates.size(), 1u);
    const ClockEstimate& estimate = check.estimates[0];
    // Photos, placeholders, with GPS time, far off, lagging, used.
    EXPECT_EQ(std::tuple(estimate.photos, estimate.placeholders, estimate.withGpsTime, estimate.outliers,
                         estimate.lagging, estimate.used),
              std::tuple(10u, 2u, 8u, 1u, 1u, 6u));
    EXPECT_DOUBLE_EQ(*estimate.clockErrorSeconds, 433);
    ASSERT_EQ(check.proposals.size(), 1u);
    EXPECT_EQ(check.proposals[0].evidence,
              "Set to UTC+01:00 and 7 min 13 s ahead: median of 6 photos with GPS time, spread 0.0 s; "
              "1 lagging GPS time and 1 far-off GPS time left out.");
}

// A phone that writes no GPS date: the day is the one nearest to the zone.
TEST(ClockCheck, GpsTimeWithoutDateTakesTheNearestDay) {
    Shot phone = Shot()
                     .taken(*utcSeconds("2012:09:29 16:11:25"))
                     .gpsTime(23 * 3600 + 11 * 60 + 25.63)
                     .longitude(-122.3);
    const ClockCheck check = checkClocks(std::vector<DiscoveredPhoto>{phone});
    EXPECT_EQ(check.estimates[0].zoneSeconds, -7 * 3600);
    EXPECT_NEAR(*check.estimates[0].clockErrorSeconds, -0.63, 1e-6);
    EXPECT_EQ(check.estimates[0].longitudeZoneSeconds, -8 * 3600);
    EXPECT_TRUE(check.estimates[0].notes.empty());  // an hour of summer time is not worth a note
    EXPECT_TRUE(check.proposals.empty());
}

TEST(ClockCheck, NotesAZoneFarFromTheLongitudeOrAnUnusualZone) {
    auto west = series(2, 2 * 3600, 0);
    for (auto& photo : west) photo.clock.longitude = -120;
    const std::pair<std::vector<DiscoveredPhoto>, std::vector<std::string>> cases[] = {
        {west, {"The camera may be set to another time zone: its clock reads UTC+02:00, but where the photos were "
                "taken the longitude suggests about UTC\u221208:00."}},
        // Without a zone tag, ten minutes fast looks like a zone a quarter hour east.
        {series(2, 3600, 600), {"UTC+01:15 is an unusual time zone: the clock may be off by more than "
                                "7\u00bd minutes, which cannot be told apart from the zone."}},
        {series(2, 20700, 0), {}},  // Nepal
    };
    for (const auto& [photos, notes] : cases) EXPECT_EQ(checkClocks(photos).estimates[0].notes, notes);
}

TEST(ClockCheck, OneCameraTextInTwoFoldersIsSplitOnlyWhenTheClocksDisagree) {
    auto photos = series(3, 3600, 420, "/site/body-a");
    auto second = series(3, 3600, 0, "/site/body-b");
    photos.insert(photos.end(), second.begin(), second.end());
    photos.push_back(Shot().at("/site/body-b/other.jpg").by("Drone").taken(noonUtc));
    const ClockCheck split = checkClocks(photos);
    ASSERT_EQ(split.estimates.size(), 3u);
    EXPECT_EQ(split.estimates[0].scope, DateCorrectionScope::folder("/site/body-a"));
    EXPECT_EQ(split.estimates[1].scope, DateCorrectionScope::folder("/site/body-b"));
    EXPECT_EQ(split.estimates[2].camera, "Drone");
    ASSERT_EQ(split.proposals.size(), 1u);
    EXPECT_EQ(split.proposals[0].shiftText, "-7m@folder=/site/body-a");
    EXPECT_TRUE(split.proposals[0].notes.empty());
    EXPECT_EQ(estimateFor(split, photos[4]), &split.estimates[1]);

    // The same clock error in both folders: one camera, one camera-wide rule.
    auto same = series(3, 3600, 420, "/site/body-a");
    auto again = series(3, 3600, 430, "/site/body-b");
    same.insert(same.end(), again.begin(), again.end());
    const ClockCheck merged = checkClocks(same);
    ASSERT_EQ(merged.estimates.size(), 1u);
    EXPECT_EQ(merged.proposals[0].shiftText, "-7m5s@camera=Field Cam");
}

TEST(ClockCheck, PhotosWithoutCameraAreToldApartByFolderAndWarnedOfNeighbours) {
    auto photos = series(2, 0, 120, "/site/anon");
    for (auto& photo : photos) photo.exif = {};
    photos.push_back(Shot().at("/site/anon/sub/x.jpg").by("Other").taken(noonUtc));
    const ClockCheck check = checkClocks(photos);
    ASSERT_EQ(check.proposals.size(), 1u);
    EXPECT_EQ(check.estimates[0].camera, "Unknown camera");
    EXPECT_EQ(check.proposals[0].shiftText, "-2m@folder=/site/anon");
    EXPECT_EQ(
        check.proposals[0].notes,
        std::vector<std::string>{"The folder also holds photos by other cameras; the shift would apply to them too."});
}

TEST(ClockCheck, FileTimesGiveALowerBoundWithoutGps) {
    const std::int64_t taken = noonUtc;
    std::vector<DiscoveredPhoto> photos{
        Shot().at("/c/1.jpg").taken(taken).fileWritten(taken - 3700),
        Shot().at("/c/2.jpg").taken(taken + 60).fileWritten(taken + 60 - 3605),
        Shot().at("/c/3.jpg").taken(taken + 120).fileWritten(taken + 86400),  // copied without its time
    };
    ClockCheck check = checkClocks(photos);
    EXPECT_EQ(check.estimates[0].withFileTime, 3u);
    EXPECT_EQ(check.estimates[0].fileTimeWitnesses, 2u);
    EXPECT_EQ(check.estimates[0].aheadAtLeastSeconds, 3605);
    ASSERT_EQ(check.proposals.size(), 1u);
    EXPECT_EQ(check.proposals[0].basis, ClockProposal::Basis::fileTimes);
    EXPECT_EQ(check.proposals[0].shiftText, "-1h5s@camera=Field Cam");

    // A minute of difference is what memory-card file times and slow writes give anyway; a minority proves nothing.
    photos[0] = Shot().at("/c/1.jpg").taken(taken).fileWritten(taken - 60);
    photos.push_back(Shot().at("/c/4.jpg").taken(taken).fileWritten(taken + 5));
    check = checkClocks(photos);
    EXPECT_EQ(check.estimates[0].fileTimeWitnesses, 1u);
    EXPECT_TRUE(check.proposals.empty());
}

TEST(ClockCheck, SyncShotSetsTheSecondCameraToTheFirst) {
    auto photos = series(3, 3600, 433, "/site/a", "Cam A");  // its own GPS says 433 s ahead
    photos.push_back(Shot().at("/site/b/b0.jpg").by("Cam B").taken(noonUtc + 3600 + 433 - 90));
    photos.push_back(Shot().at("/site/b/b1.jpg").by("Cam B").taken(noonUtc + 3700));
    const ClockCheck check = checkClocks(photos);

    auto proposal = syncProposal(photos, check, {"/site/a/p0.jpg", "/site/b/b0.jpg"});
    ASSERT_TRUE(proposal) << proposal.error().description();
    EXPECT_EQ(proposal->basis, ClockProposal::Basis::syncShot);
    EXPECT_EQ(proposal->zoneSeconds, 3600);  // camera A's, found from its GPS time
    EXPECT_EQ(proposal->shiftText, "-5m43s@camera=Cam B");  // +90 s to A's clock, −433 s to the true time
    EXPECT_EQ(proposal->evidence,
              "b0.jpg and p0.jpg show the same moment; the second camera's clock is set to the "
              "first's as corrected by its GPS time.");

    using Kind = SyncShotError::Kind;
    const std::pair<SyncShot, Kind> failures[] = {
        {{"/site/a/p0.jpg", "/elsewhere/x.jpg"}, Kind::notInBatch},
        {{"/site/a/p0.jpg", "/site/a/p0.jpg"}, Kind::samePhoto},
        {{"/site/a/p0.jpg", "/site/a/p1.jpg"}, Kind::sameClock},
    };
    for (const auto& [shot, kind] : failures) EXPECT_EQ(syncProposal(photos, check, shot).error().kind, kind);
    const auto oneCamera = series(2, 0, 0, "/x", "X");
    EXPECT_EQ(syncProposal(oneCamera, checkClocks(oneCamera), {"/x/p0.jpg", "/x/p1.jpg"}).error().description(),
              "Both photos are by the same camera in the same folder, so no shift can single out the second "
              "camera's clock.");
}

TEST(ClockCheck, KnownZoneIsTheTagOrAGpsEstimate) {
    auto photos = series(2, 3600, 0, "/gps");
    photos.push_back(Shot().at("/tagged/t.jpg").by("Tagged").taken(noonUtc).zoneTag("+09:00"));
    photos.push_back(Shot().at("/plain/n.jpg").by("Plain").taken(noonUtc));
    const ClockCheck check = checkClocks(photos);
    EXPECT_EQ(knownZone(check, photos[0]), 3600);
    EXPECT_EQ(knownZone(check, photos[2]), 9 * 3600);
    EXPECT_EQ(knownZone(check, photos[3]), std::nullopt);
}

// The other shift, zone and duration texts appear in the proposals above.
TEST(ClockCheck, Texts) {
    const std::pair<std::int64_t, const char*> shifts[] = {{0, "+0s"}, {3600, "+1h"}, {86400 * 2 + 61, "+2d1m1s"}};
    for (const auto& [seconds, text] : shifts) EXPECT_EQ(shiftAmountText(seconds), text);
    EXPECT_EQ(zoneText(19800), "UTC+05:30");
    EXPECT_EQ(zoneText(0), "UTC+00:00");
    EXPECT_EQ(durationText(0.63), "0.6 s");
    EXPECT_EQ(durationText(7200), "2 h");
}

TEST(ClockCheck, ZoneByGpsTimeIsAUsualZoneWithinTheTolerance) {
    const std::pair<std::int64_t, std::optional<std::int64_t>> cases[] = {
        {7200, 7200},
        {7200 + 119, 7200},
        {7200 - 119, 7200},
        {7200 + 121, std::nullopt},  // too far from any zone to tell
        {-(9 * 3600 + 1800), -(9 * 3600 + 1800)},
        {5 * 3600 + 2700, 5 * 3600 + 2700},
        {2 * 3600 + 900, std::nullopt},   // no zone is a quarter past
        {15 * 3600, std::nullopt},        // beyond +14:00
    };
    for (const auto& [difference, zone] : cases) {
        SCOPED_TRACE(difference);
        const DiscoveredPhoto photo = Shot().taken(noonUtc + difference).gpsAt(noonUtc);
        EXPECT_EQ(zoneByGpsTime(photo.clock, *photo.captureDate), zone);
    }
    // A placeholder GPS time, or one without a date, tells nothing.
    DiscoveredPhoto placeholder = Shot().taken(noonUtc).gpsAt(noonUtc - noonUtc % 86400);
    EXPECT_EQ(zoneByGpsTime(placeholder.clock, *placeholder.captureDate), std::nullopt);
    DiscoveredPhoto timeOnly = Shot().taken(noonUtc).gpsTime(12 * 3600);
    EXPECT_EQ(zoneByGpsTime(timeOnly.clock, *timeOnly.captureDate), std::nullopt);
}

TEST(CopyDate, WrittenOnlyForCorrectionsWithAZoneOnlyWhenKnown) {
    using veltrop::platform::CopyDate;
    using veltrop::dates::CaptureDate;
    using veltrop::dates::CaptureDateSource;
    veltrop::settings::StampConfiguration on;
    on.writeCorrectedDates = true;
    const auto shift = [](std::int64_t seconds) {
        DateCorrectionRule rule;
        rule.offsetSeconds = seconds;
        return rule;
    };
    const auto supply = [](const CaptureDate& date) {
        DateCorrectionRule rule;
        rule.suppliedDate = date;
        return rule;
    };
    const std::int64_t wall = noonUtc + 3600;  // 13:00 on the camera
    const CaptureDate oneThirty{2024, 5, 14, 14, 30, 0, CaptureDateSource::dateTimeOriginal};
    const CaptureDate supplied{2024, 5, 14, 9, 0, 0, CaptureDateSource::suppliedDate};
    const CaptureDate asRecorded{2024, 5, 14, 13, 0, 0, CaptureDateSource::suppliedDate};
    struct Case {
        const char* name;
        DiscoveredPhoto photo;
        std::vector<DateCorrectionRule> rules;
        std::optional<CopyDate> expected;
    };
    const Case cases[] = {
        {"no rule: the recorded date stays", Shot().taken(wall), {}, std::nullopt},
        {"shift: the camera's own zone", Shot().taken(wall).digitized(wall).zoneTag("-04:00"), {shift(5400)},
         CopyDate{oneThirty, -4 * 3600, true, true}},
        {"shift: GPS time tells the zone of the corrected date",
         Shot().taken(wall).zoneTag("+01:00").gpsAt(noonUtc + 1800), {shift(5400)},
         CopyDate{oneThirty, 2 * 3600, true, false}},
        {"shift, no zone anywhere", Shot().taken(wall).digitized(wall - 60), {shift(5400)},
         CopyDate{oneThirty, std::nullopt, true, false}},
        {"supply: no zone of its own", Shot().taken(wall).zoneTag("+01:00"), {supply(supplied)},
         CopyDate{supplied, std::nullopt, false, false}},
        {"supply of the recorded date keeps its sub-seconds", Shot().taken(wall), {supply(asRecorded)},
         CopyDate{asRecorded, std::nullopt, true, false}},
        {"supply read against GPS time", Shot().gpsAt(noonUtc - 15 * 3600), {supply(supplied)},
         CopyDate{supplied, 12 * 3600, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(copyDate(c.photo, resolveDate(c.photo, on, c.rules), on), c.expected);
        EXPECT_EQ(copyDate(c.photo, resolveDate(c.photo, {}, c.rules), {}), std::nullopt) << "asked for";
    }
}
