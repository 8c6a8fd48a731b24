#include "kit/platform/exif_patch.h"

#include <gtest/gtest.h>

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

    // Random damage never reads or writes outside the block and never changes its size.
    const Bytes source = cameraBlock(false).build();
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = source;
        const int hits = 1 + round % 4;
        for (int i = 0; i < hits; ++i)
            damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random() % 4 == 0 ? 0xFF : random());
        if (round % 7 == 0) damaged.resize(random() % damaged.size());
        auto result = patchExif(damaged, {4000, 3000, round % 2 == 0});
        if (result) {
            EXPECT_EQ(result->tiff.size(), damaged.size());
            EXPECT_LE(result->usedLength, damaged.size());
        }
    }
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

}  // namespace
}  // namespace veltrop::platform
