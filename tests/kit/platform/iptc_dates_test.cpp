#include "kit/platform/iptc_dates.h"

#include <gtest/gtest.h>

#include "kit/export/image_fixtures.h"
#include "kit/platform/copy_segments.h"
#include "support/test_support.h"

namespace veltrop::platform {
namespace {

using namespace veltrop::testing;

// The copy's segments of a source holding only these IPTC records, read
// back by the reference tool; from a JPEG source's Photoshop segment, or
// from a bare IPTC block as other containers give it.
std::optional<nlohmann::json> copiedAndRead(const Bytes& records, bool fromJpeg, const CopyChanges& changes,
                                            const TempDir& folder) {
    MetadataBlocks source;
    if (fromJpeg) {
        const Segment photoshop = iptcSegment(records);
        source.segments.push_back({photoshop.marker, photoshop.payload});
    } else {
        source.iptc = records;
    }
    std::vector<Segment> written;
    for (const MetadataSegment& s : segmentsForCopy(source, changes)) written.push_back({s.marker, s.payload});
    const auto file = folder / (fromJpeg ? "jpeg.jpg" : "block.jpg");
    writeBytes(file, withSegments(encodeJpeg(patternBitmap(8, 8)), written));
    return referenceMetadata(file);
}

TEST(IptcDates, MirrorTheCorrectedDateWhereStoredInTheirStandardForm) {
    Bytes records;
    for (const auto& [tag, text] : std::initializer_list<std::pair<std::uint8_t, std::string>>{
             {5, "Bridge"}, {55, "20160112"}, {60, "153328+0100"}, {62, "20160112"}, {63, "153328"}}) {
        const Bytes record = iptcRecord(tag, text);
        records.insert(records.end(), record.begin(), record.end());
    }
    const dates::CaptureDate date{2026, 8, 14, 7, 47, 49};
    struct Case {
        std::optional<std::int64_t> zone;
        const char* time;
    };
    // The zone is part of the stored time: kept unless the new one is known.
    const Case cases[] = {{std::nullopt, "07:47:49+01:00"}, {-4 * 3600 - 1800, "07:47:49-04:30"}};
    TempDir folder;
    for (bool fromJpeg : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(fromJpeg ? "JPEG" : "block") + " " + c.time);
            const auto read = copiedAndRead(records, fromJpeg, {8, 8, false, CopyDate{date, c.zone}}, folder);
            if (!read) GTEST_SKIP() << "exiftool is not installed";
            EXPECT_EQ((*read)["IPTC:ObjectName"], "Bridge");
            EXPECT_EQ((*read)["IPTC:DateCreated"], "2026:08:14");
            EXPECT_EQ((*read)["IPTC:TimeCreated"], c.time);
            EXPECT_EQ((*read)["IPTC:DigitalCreationDate"], "2026:08:14");
            EXPECT_EQ((*read)["IPTC:DigitalCreationTime"], "15:33:28") << "a time without its zone is left alone";
        }
        const auto unchanged = copiedAndRead(records, fromJpeg, {8, 8, false}, folder);
        if (!unchanged) GTEST_SKIP() << "exiftool is not installed";
        EXPECT_EQ((*unchanged)["IPTC:DateCreated"], "2016:01:12");
        EXPECT_EQ((*unchanged)["IPTC:TimeCreated"], "15:33:28+01:00");
    }
}

TEST(IptcDates, DamagedRecordsAreLeftAsTheyAre) {
    const dates::CaptureDate date{2026, 8, 14, 7, 47, 49};
    Bytes records = iptcRecord(55, "20160112");
    records[4] = 200;  // longer than what follows
    Bytes copy = records;
    EXPECT_FALSE(setIptcDates(copy, {date}));
    EXPECT_EQ(copy, records);
    Bytes extended = {0x1C, 2, 55, 0x80, 0x02, 0x00, 0x08, '2', '0', '1', '6', '0', '1', '1', '2'};
    EXPECT_TRUE(setIptcDates(extended, {date}));
    EXPECT_EQ(std::string(extended.end() - 8, extended.end()), "20260814");
}

}  // namespace
}  // namespace veltrop::platform
