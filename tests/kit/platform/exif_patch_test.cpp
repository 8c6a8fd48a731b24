#include "kit/platform/exif_patch.h"

#include "kit/platform/exif_dates.h"
#include "kit/platform/copy_segments.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

#include "kit/export/image_fixtures.h"
#include "support/test_support.h"

namespace veltrop::platform {
namespace {

using namespace veltrop::testing;

const std::string datum = "Veltrop test datum 51N";
const Bytes makerNote = [] {
    Bytes bytes(96);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0xA0 + i % 37);
    return bytes;
}();
const Bytes thumbnail = [] {
    Bytes bytes(700);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0x31 + i % 53);
    return bytes;
}();

TiffBlock cameraBlock(bool bigEndian) {
    TiffBlock tiff;
    tiff.bigEndian = bigEndian;
    tiff.ifd0 = {ascii(0x010F, "Maker"), ascii(0x0110, "Model 7"), shorts(0x0112, {6}), shorts(0x0100, {640}),
                 shorts(0x0101, {480}), ascii(0x0132, "2026:08:14 07:00:00")};
    tiff.exif = {ascii(0x9003, "2026:08:14 06:17:49"), shorts(0xA002, {640}), longs(0xA003, {480}),
                 TiffEntry{0x927C, 7, static_cast<std::uint32_t>(makerNote.size()), makerNote}};
    tiff.gps = {ascii(0x0001, "N"), rationals(0x0002, {{51, 1}, {29, 1}, {4321, 100}}), ascii(0x0012, datum)};
    tiff.thumbnail = thumbnail;
    return tiff;
}

std::size_t find(const Bytes& haystack, const Bytes& needle) {
    return static_cast<std::size_t>(std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) -
                                    haystack.begin());
}

Bytes text(const std::string& value) { return Bytes(value.begin(), value.end()); }

// Read back by the reference tool, from a JPEG carrying the block.
std::optional<nlohmann::json> readBack(const Bytes& tiff, const TempDir& folder, const std::string& name) {
    const auto file = folder / name;
    writeBytes(file, withSegments(encodeJpeg(patternBitmap(8, 8)), {exifSegment(tiff)}));
    return referenceMetadata(file);
}

TEST(ExifPatch, ChangesValuesInPlaceAndZeroesWhatGoes) {
    TempDir folder;
    for (bool bigEndian : {false, true}) {
        for (bool removeGPS : {false, true}) {
            SCOPED_TRACE(std::string(bigEndian ? "MM" : "II") + (removeGPS ? " without GPS" : " with GPS"));
            const Bytes source = cameraBlock(bigEndian).build();
            // 70000 does not fit the stored SHORT: the entry becomes a LONG in place.
            auto patched = patchExif(source, {70000, 480, removeGPS});
            ASSERT_TRUE(patched);
            const Bytes& copy = patched->tiff;
            ASSERT_EQ(copy.size(), source.size());
            // Nothing moved: the maker note and the dates sit where they were.
            EXPECT_EQ(find(copy, makerNote), find(source, makerNote));
            EXPECT_EQ(find(copy, text("2026:08:14 06:17:49")), find(source, text("2026:08:14 06:17:49")));
            EXPECT_FALSE(contains(copy, thumbnail));
            EXPECT_FALSE(contains(copy, Bytes(thumbnail.begin(), thumbnail.begin() + 8)));
            EXPECT_EQ(contains(copy, text(datum)), !removeGPS);

            auto read = readBack(copy, folder, "copy.jpg");
            if (!read) GTEST_SKIP() << "exiftool is not installed";
            EXPECT_EQ((*read)["IFD0:Orientation"], 1);
            EXPECT_EQ((*read)["IFD0:ImageWidth"], 70000);
            EXPECT_EQ((*read)["IFD0:ImageHeight"], 480);
            EXPECT_EQ((*read)["ExifIFD:ExifImageWidth"], 70000);
            EXPECT_EQ((*read)["ExifIFD:ExifImageHeight"], 480);
            EXPECT_EQ((*read)["IFD0:Make"], "Maker");
            EXPECT_EQ((*read)["ExifIFD:DateTimeOriginal"], "2026:08:14 06:17:49");
            // The same complaint as about the source (the made-up maker note), nothing new.
            EXPECT_EQ(read->value("ExifTool:Warning", ""), readBack(source, folder, "source.jpg")->value("ExifTool:Warning", ""));
            for (const auto& [key, value] : read->items()) EXPECT_FALSE(key.starts_with("IFD1:")) << key;
            EXPECT_EQ(read->contains("GPS:GPSMapDatum"), !removeGPS);
            if (!removeGPS) {
                EXPECT_EQ((*read)["GPS:GPSMapDatum"], datum);
                EXPECT_NEAR((*read)["GPS:GPSLatitude"].get<double>(), 51 + 29 / 60.0 + 43.21 / 3600, 1e-9);
            }
        }
    }
}

TEST(ExifPatch, WritesEachValueInTheTypeThatHoldsIt) {
    struct Case {
        const char* name;
        TiffEntry orientation;
        int width;
        int expectedType;  // of the orientation entry afterwards
    };
    TiffEntry asText = ascii(0x0112, "6");
    const Case cases[] = {
        {"short", shorts(0x0112, {8}), 100, 3},
        {"long", longs(0x0112, {3}), 100, 4},
        {"text is no orientation", asText, 100, 3},
    };
    TempDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TiffBlock tiff;
        tiff.ifd0 = {c.orientation, longs(0x0100, {64})};
        const Bytes source = tiff.build();
        auto patched = patchExif(source, {c.width, 50, false});
        ASSERT_TRUE(patched);
        // IFD0 starts at 8; the orientation is its second entry, after 0x0100.
        const std::size_t entry = 8 + 2 + 12;
        EXPECT_EQ(patched->tiff[entry + 2], c.expectedType);
        auto read = readBack(patched->tiff, folder, std::string(c.name) + ".jpg");
        if (!read) GTEST_SKIP() << "exiftool is not installed";
        EXPECT_EQ((*read)["IFD0:Orientation"], 1);
        EXPECT_EQ((*read)["IFD0:ImageWidth"], c.width);
    }
}

TEST(ExifPatch, RefusesWhatIsNoTiffAndSurvivesHostileOffsets) {
    EXPECT_EQ(patchExif(Bytes{'I', 'I', 42}, {}).error(), ExifPatchFailure::notTiff);
    EXPECT_EQ(patchExif(Bytes{'M', 'M', 42, 0, 0, 0, 0, 8}, {}).error(), ExifPatchFailure::notTiff);
    EXPECT_EQ(patchExif(Bytes{'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}, {}).error(), ExifPatchFailure::notTiff);

    // IFD1 and the GPS IFD pointing back at IFD0: nothing of IFD0 is zeroed.
    TiffBlock loop;
    loop.ifd0 = {ascii(0x010F, "Maker"), longs(0x8825, {8})};
    Bytes looped = loop.build();
    looped[8 + 2 + 12 * 2] = 8;  // IFD0's next-IFD offset
    auto patched = patchExif(looped, {10, 10, true});
    ASSERT_TRUE(patched);
    EXPECT_TRUE(contains(patched->tiff, text("Maker")));
}

TEST(ExifPatch, UsedLengthEndsWithTheLastKeptByte) {
    TiffBlock tiff = cameraBlock(false);
    const Bytes source = tiff.build();
    auto patched = patchExif(source, {1, 1, true});
    ASSERT_TRUE(patched);
    // The thumbnail is stored last; what comes before it stays in use.
    EXPECT_EQ(patched->usedLength, find(source, makerNote) + makerNote.size());
    EXPECT_TRUE(std::all_of(patched->tiff.begin() + static_cast<std::ptrdiff_t>(patched->usedLength),
                            patched->tiff.end(), [](std::uint8_t b) { return b == 0; }));
}

// ---- A corrected capture date

const dates::CaptureDate newDate{2026, 8, 14, 7, 47, 49};

// Where the block stores an entry of the tag (little-endian blocks only).
std::size_t entryOf(const Bytes& tiff, std::uint16_t tag, std::uint16_t type) {
    return find(tiff, Bytes{static_cast<std::uint8_t>(tag), static_cast<std::uint8_t>(tag >> 8),
                            static_cast<std::uint8_t>(type), 0});
}

std::uint32_t little32(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

bool describesFile(const std::string& key) {
    return key.starts_with("File:") || key.starts_with("System:") || key.starts_with("ExifTool:") ||
           key.starts_with("Composite:") || key == "SourceFile";
}

TEST(ExifDates, ChangeOnlyTheDateTagsAndMoveNothing) {
    struct Case {
        const char* name;
        TiffBlock source;
        platform::CopyDate date;
        // What the reference tool reads afterwards besides the new DateTimeOriginal and
        // CreateDate; null: absent. Every other tag reads as before.
        std::map<std::string, nlohmann::json> expected;
        bool grows;  // a new Exif IFD was needed
    };
    const TiffEntry dto = ascii(0x9003, "2026:08:14 06:17:49");
    const TiffEntry created = ascii(0x9004, "2026:08:14 06:17:49");
    const TiffEntry note{0x927C, 7, static_cast<std::uint32_t>(makerNote.size()), makerNote};
    const std::vector<TiffEntry> camera = {ascii(0x010F, "Maker"), ascii(0x0110, "Model 7"),
                                           ascii(0x0132, "2026:08:14 07:00:00")};
    const auto block = [&](std::vector<TiffEntry> exif, bool bigEndian = false) {
        TiffBlock tiff;
        tiff.bigEndian = bigEndian;
        tiff.ifd0 = camera;
        tiff.exif = std::move(exif);
        return tiff;
    };
    const nlohmann::json none;  // absent
    const std::vector<Case> cases = {
        {"both stored: overwritten", block({dto, created, note}), {newDate}, {}, false},
        {"big-endian", block({dto, created, note}, true), {newDate}, {}, false},
        {"CreateDate missing: added", block({dto, note, shorts(0xA002, {640})}), {newDate}, {}, true},
        {"big-endian, both missing", block({note, shorts(0xA002, {640})}, true), {newDate}, {}, true},
        {"no Exif IFD", block({}), {newDate}, {{"ExifIFD:ExifVersion", "0232"}}, true},
        {"a date too short to hold the new one", block({ascii(0x9003, "2026:08:14"), created, note}), {newDate}, {},
         true},
        {"zone known: set where stored, added where not",
         block({dto, created, ascii(0x9010, "+01:00"), ascii(0x9012, "+01:00"), note}), {newDate, 7200},
         {{"ExifIFD:OffsetTimeOriginal", "+02:00"}, {"ExifIFD:OffsetTimeDigitized", "+02:00"}}, true},
        {"zone known and stored", block({dto, created, ascii(0x9011, "-04:00"), note}), {newDate, -16200},
         {{"ExifIFD:OffsetTimeOriginal", "-04:30"}}, false},
        {"sub-seconds that no longer belong go",
         block({dto, created, ascii(0x9290, "12"), ascii(0x9291, "644"), ascii(0x9292, "64400"), note}),
         {newDate, std::nullopt, false, false},
         {{"ExifIFD:SubSecTimeOriginal", none}, {"ExifIFD:SubSecTimeDigitized", none}}, false},
        {"sub-seconds that still belong stay", block({dto, created, ascii(0x9291, "644"), ascii(0x9292, "644"), note}),
         {newDate, std::nullopt, true, true}, {}, false},
    };
    TempDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes source = c.source.build();
        auto patched = patchExif(source, {640, 480, false, c.date});
        ASSERT_TRUE(patched);
        const Bytes& copy = patched->tiff;
        EXPECT_EQ(copy.size() > source.size(), c.grows);
        EXPECT_LE(patched->usedLength, copy.size());
        // Nothing the source holds moved.
        if (contains(source, makerNote)) {
            EXPECT_EQ(find(copy, makerNote), find(source, makerNote));
        }
        EXPECT_EQ(find(copy, text("Model 7")), find(source, text("Model 7")));
        // The old reading is gone from the bytes, not only unreferenced.
        EXPECT_FALSE(contains(copy, text("2026:08:14 06:17:49")));

        const auto before = readBack(patchExif(source, {640, 480, false}).value().tiff, folder, "before.jpg");
        const auto after = readBack(copy, folder, "after.jpg");
        if (!before || !after) GTEST_SKIP() << "exiftool is not installed";
        auto expected = c.expected;
        expected["ExifIFD:DateTimeOriginal"] = expected["ExifIFD:CreateDate"] = "2026:08:14 07:47:49";
        for (const auto& [key, value] : expected) {
            if (value.is_null()) EXPECT_FALSE(after->contains(key)) << key;
            else EXPECT_EQ(after->value(key, nlohmann::json()), value) << key;
        }
        for (const auto& [key, value] : after->items()) {
            if (describesFile(key) || expected.contains(key)) continue;
            EXPECT_EQ(before->value(key, nlohmann::json()), value) << key << " changed";
        }
        for (const auto& [key, value] : before->items()) {
            if (!describesFile(key) && !expected.contains(key)) {
                EXPECT_TRUE(after->contains(key)) << key << " went";
            }
        }
    }
}

TEST(ExifDates, ABlockOfItsOwnForASourceWithoutExif) {
    for (std::optional<std::int64_t> zone : {std::optional<std::int64_t>{}, std::optional<std::int64_t>{3600}}) {
        auto patched = patchExif(emptyExif(), {10, 10, false, platform::CopyDate{newDate, zone}});
        ASSERT_TRUE(patched);
        TempDir folder;
        const auto read = readBack(patched->tiff, folder, "new.jpg");
        if (!read) GTEST_SKIP() << "exiftool is not installed";
        EXPECT_EQ((*read)["ExifIFD:DateTimeOriginal"], "2026:08:14 07:47:49");
        EXPECT_EQ((*read)["ExifIFD:CreateDate"], "2026:08:14 07:47:49");
        EXPECT_EQ(read->value("ExifIFD:OffsetTimeOriginal", ""), zone ? "+01:00" : "");
        EXPECT_FALSE(read->contains("ExifTool:Warning")) << read->dump();
    }
}

// A writer that stores one text for ModifyDate and DateTimeOriginal: the
// new date must not change ModifyDate.
TEST(ExifDates, BytesSharedWithAnotherTagAreNotOverwritten) {
    TiffBlock tiff;
    tiff.ifd0 = {ascii(0x010F, "Maker"), ascii(0x0132, "2026:08:14 06:17:49")};
    tiff.exif = {ascii(0x9003, "2026:08:14 06:00:00"), ascii(0x9004, "2026:08:14 06:00:00")};
    Bytes source = tiff.build();
    const std::size_t modifyDate = little32(source, entryOf(source, 0x0132, 2) + 8);
    source[entryOf(source, 0x9003, 2) + 8] = static_cast<std::uint8_t>(modifyDate);
    auto patched = patchExif(source, {10, 10, false, platform::CopyDate{newDate}});
    ASSERT_TRUE(patched);
    TempDir folder;
    const auto read = readBack(patched->tiff, folder, "shared.jpg");
    if (!read) GTEST_SKIP() << "exiftool is not installed";
    EXPECT_EQ((*read)["IFD0:ModifyDate"], "2026:08:14 06:17:49");
    EXPECT_EQ((*read)["ExifIFD:DateTimeOriginal"], "2026:08:14 07:47:49");
    EXPECT_EQ((*read)["ExifIFD:CreateDate"], "2026:08:14 07:47:49");
}

TEST(ExifDates, ABlockAtTheSegmentLimitUsesItsZeroedEndOrLeavesAdditionsOut) {
    // A maker note that all but fills the segment, and a thumbnail after it
    // that the copy zeroes: room for the added CreateDate (a new table and
    // its value, 62 bytes), or not.
    constexpr std::size_t limit = 65527;
    for (std::size_t thumbnailSize : {std::size_t{200}, std::size_t{2}}) {
        SCOPED_TRACE(thumbnailSize);
        const auto build = [&](std::size_t noteSize) {
            TiffBlock tiff;
            tiff.ifd0 = {ascii(0x010F, "Maker")};
            tiff.exif = {ascii(0x9003, "2026:08:14 06:17:49"),
                         TiffEntry{0x927C, 7, static_cast<std::uint32_t>(noteSize), Bytes(noteSize, 0x5A)}};
            tiff.thumbnail = Bytes(thumbnailSize, 0x77);
            return tiff.build();
        };
        const std::size_t overhead = build(1000).size() - 1000;
        const Bytes source = build(limit - 11 - overhead);
        ASSERT_EQ(source.size(), limit - 11);
        const Bytes big(1000, 0x5A);
        auto patched = patchExif(source, {10, 10, false, platform::CopyDate{newDate}});
        ASSERT_TRUE(patched);
        EXPECT_LE(patched->tiff.size(), limit);
        EXPECT_EQ(find(patched->tiff, big), find(source, big));
        TempDir folder;
        const auto read = readBack(patched->tiff, folder, "full.jpg");
        if (!read) GTEST_SKIP() << "exiftool is not installed";
        EXPECT_EQ((*read)["ExifIFD:DateTimeOriginal"], "2026:08:14 07:47:49");
        EXPECT_EQ(read->value("ExifIFD:CreateDate", ""), thumbnailSize > 100 ? "2026:08:14 07:47:49" : "");
    }
}

TEST(ExifDates, DamagedEntriesNeitherReachTheHeaderNorHideTheDates) {
    // Found by fuzzing: IFD0 holds Orientation twice, the second with five
    // values stored at offset 1 (over the header), and entries of types TIFF
    // does not define, one with tag 0 that a rewritten table sorts first.
    const Bytes source{0x4d, 0x4d, 0x00, 0x2a, 0x00, 0x00, 0x00, 0x08, 0x00, 0x05, 0x01, 0x12, 0x00, 0x03, 0x00, 0x00,
                       0x00, 0x01, 0x00, 0x08, 0x00, 0x05, 0x01, 0x12, 0x00, 0x03, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00,
                       0x00, 0x01, 0x00, 0x00, 0x00, 0x4a, 0x01, 0x1b, 0xda, 0x2a, 0x0d, 0x3f, 0x4f, 0xf1, 0x0d, 0x02,
                       0xa0, 0x02, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0xc2, 0xa0, 0x03, 0x00, 0x04,
                       0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x02, 0x58, 0x00, 0x00, 0x00, 0x00};
    auto patched = patchExif(source, {10, 10, true, platform::CopyDate{newDate}});
    ASSERT_TRUE(patched);
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + 4, patched->tiff.begin()));
    TempDir folder;
    const auto read = readBack(patched->tiff, folder, "damaged.jpg");
    if (!read) GTEST_SKIP() << "exiftool is not installed";
    EXPECT_EQ((*read)["ExifIFD:DateTimeOriginal"], "2026:08:14 07:47:49");
    EXPECT_EQ((*read)["ExifIFD:CreateDate"], "2026:08:14 07:47:49");
    EXPECT_EQ(read->value("IFD0:Orientation", nlohmann::json()), 1);
}

// Found by fuzzing: blocks that fill a whole segment, one whose date bytes a
// damaged directory also claims, one whose IFD0 starts with an entry of an
// undefined type (readers give up on it and on the dates below it), one
// whose Exif IFD pointer leads back to IFD0 and which has no room for new tables.
TEST(ExifDates, CorrectedDatesReachReadersOfDamagedFullBlocks) {
    for (const char* name :
         {"date-bytes-under-a-damaged-value", "undefined-type-first-in-ifd0", "exif-pointer-back-to-ifd0"}) {
        platform::MetadataBlocks source;
        source.exif = readBytes(std::filesystem::path(VELTROP_FUZZ_REGRESSIONS) / "metadata_copy" / name);
        Bytes tiff;
        for (const auto& segment : platform::segmentsForCopy(
                 source, {.width = 640, .height = 480, .date = platform::CopyDate{newDate, 3600}})) {
            const std::string_view signature("Exif\0\0", 6);
            if (segment.marker == 0xE1 && segment.payload.size() > 6 &&
                std::equal(signature.begin(), signature.end(), segment.payload.begin()))
                tiff.assign(segment.payload.begin() + 6, segment.payload.end());
        }
        ASSERT_FALSE(tiff.empty()) << name;
        EXPECT_TRUE(std::equal(source.exif.begin(), source.exif.begin() + 4, tiff.begin())) << name;
        TempDir folder;
        const auto read = readBack(tiff, folder, "copy.jpg");
        if (!read) GTEST_SKIP() << "exiftool is not installed";
        EXPECT_EQ((*read)["ExifIFD:DateTimeOriginal"], "2026:08:14 07:47:49") << name;
        EXPECT_EQ((*read)["ExifIFD:CreateDate"], "2026:08:14 07:47:49") << name;
    }
}

// Random damage never reads or writes outside the block; without a new date
// it never changes the block's size, with one it stays within a segment.
TEST(ExifDates, HostileBlocksStayWithinBounds) {
    TiffBlock tiff = cameraBlock(false);
    tiff.exif.push_back(ascii(0x9291, "644"));
    const Bytes source = tiff.build();
    std::mt19937 random(5);
    for (int round = 0; round < 6000; ++round) {
        Bytes damaged = source;
        for (int i = 0; i < 1 + round % 4; ++i)
            damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random() % 4 == 0 ? 0xFF : random());
        if (round % 7 == 0) damaged.resize(random() % damaged.size());
        const bool dated = round / 4 % 2 != 0;
        auto result = patchExif(damaged, {4000, 3000, round / 8 % 2 == 0,
                                          dated ? std::optional(platform::CopyDate{newDate, 3600}) : std::nullopt});
        if (!result) continue;
        EXPECT_LE(result->usedLength, result->tiff.size());
        if (dated) EXPECT_LE(result->tiff.size(), std::max<std::size_t>(damaged.size(), 65527));
        else EXPECT_EQ(result->tiff.size(), damaged.size());
    }
}

}  // namespace
}  // namespace veltrop::platform
