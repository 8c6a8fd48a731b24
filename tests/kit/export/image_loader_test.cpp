#include "kit/export/image_loader.h"

#include <gtest/gtest.h>

#include "kit/export/image_fixtures.h"
#include "support/test_support.h"

namespace veltrop::exporting {
namespace {

using dates::PropertyList;
using dates::PropertyValue;
using namespace veltrop::testing;
namespace keys = dates::keys;

const PropertyValue* value(const dates::PropertyDictionary& properties, std::string_view group, std::string_view key) {
    return dates::find(dates::group(properties, group), key);
}

TEST(ImageLoader, KeepsStoredValueTypes) {
    TempDir folder;
    TiffBlock tiff;
    tiff.ifd0 = {shorts(0x0112, {6}), ascii(0x0132, "2026:08:14 06:17:49")};
    tiff.exif = {rationals(0x829A, {{1, 8000}}),
                 rationals(0x829D, {{28, 10}}),
                 shorts(0x8827, {100, 200}),
                 longs(0x9003, {20260814}),  // a date stored as a number stays a number
                 ascii(0x9004, "2026:08:14 06:17:49\0junk"),
                 rationals(0x920A, {{50, 0}})};  // zero denominator: no value
    tiff.gps = {rationals(0x0002, {{51, 1}, {30, 1}, {0, 1}})};
    const auto file = folder / "typed.jpg";
    writeBytes(file, withSegments(encodeJpeg(patternBitmap(40, 30)), {exifSegment(tiff.build())}));

    auto loaded = ImageLoader::load(file);
    ASSERT_TRUE(loaded) << loaded.error().description();
    const auto& p = loaded->properties;
    EXPECT_EQ(*value(p, keys::tiff, keys::dateTime), PropertyValue("2026:08:14 06:17:49"));
    EXPECT_EQ(*value(p, keys::exif, keys::exposureTime), PropertyValue(1.0 / 8000));
    EXPECT_EQ(*value(p, keys::exif, keys::fNumber), PropertyValue(2.8));
    EXPECT_EQ(*value(p, keys::exif, keys::isoSpeedRatings), PropertyValue(PropertyList{100, 200}));
    EXPECT_EQ(*value(p, keys::exif, keys::dateTimeOriginal), PropertyValue(20260814));
    EXPECT_EQ(*value(p, keys::exif, keys::dateTimeDigitized), PropertyValue("2026:08:14 06:17:49"));
    EXPECT_EQ(value(p, keys::exif, keys::focalLength), nullptr);
    EXPECT_EQ(*value(p, keys::gps, "GPSLatitude"), PropertyValue(PropertyList{51, 30, 0}));
    EXPECT_EQ(*dates::find(p, keys::orientation), PropertyValue(6));
    EXPECT_EQ(*dates::find(p, keys::pixelWidth), PropertyValue(40));
    EXPECT_EQ(*dates::find(p, keys::pixelHeight), PropertyValue(30));

    EXPECT_EQ(loaded->orientation, 6);
    EXPECT_EQ(loaded->pixelSize(), (PixelSize{40, 30}));
    EXPECT_EQ(loaded->displaySize(), (PixelSize{30, 40}));

    auto info = ImageLoader::readInfo(file);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->properties, loaded->properties);
    EXPECT_EQ(info->displaySize(), (PixelSize{30, 40}));
}

TEST(ImageLoader, OrientationOutsideOneToEightIsUpright) {
    TempDir folder;
    const Bytes jpeg = encodeJpeg(patternBitmap(8, 8));
    const std::vector<std::pair<std::string, TiffEntry>> cases = {
        {"zero", shorts(0x0112, {0})}, {"nine", shorts(0x0112, {9})}, {"text", ascii(0x0112, "6")}};
    for (const auto& [name, entry] : cases) {
        TiffBlock tiff;
        tiff.ifd0 = {entry};
        const auto file = folder / (name + ".jpg");
        writeBytes(file, withSegments(jpeg, {exifSegment(tiff.build())}));
        auto loaded = ImageLoader::load(file);
        ASSERT_TRUE(loaded) << name;
        EXPECT_EQ(loaded->orientation, 1) << name;
    }
}

TEST(ImageLoader, CarriesRawMetadataBlocks) {
    TempDir folder;
    TiffBlock tiff;
    tiff.ifd0 = {ascii(0x010F, "Maker")};
    const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                            "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
                            "xmlns:aux='http://ns.adobe.com/exif/1.0/aux/' aux:Lens='Test Lens 50mm'/>"
                            "</rdf:RDF></x:xmpmeta>";
    const Bytes icc(300, 0x5A);
    Bytes iptc = iptcRecord(25, "alpha");
    const Bytes beta = iptcRecord(25, "beta");
    iptc.insert(iptc.end(), beta.begin(), beta.end());
    const auto file = folder / "blocks.jpg";
    writeBytes(file, withSegments(encodeJpeg(patternBitmap(8, 8)),
                                  {exifSegment(tiff.build()), xmpSegment(xmp), iccSegment(icc), iptcSegment(iptc)}));

    auto loaded = ImageLoader::load(file);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->metadata.exif, tiff.build());
    EXPECT_EQ(loaded->metadata.xmp, xmp);
    EXPECT_EQ(loaded->metadata.icc, icc);
    EXPECT_EQ(loaded->metadata.iptc, iptc);
    // The lens named only in XMP reaches the auxiliary group.
    EXPECT_EQ(*value(loaded->properties, keys::exifAux, keys::lensModel), PropertyValue("Test Lens 50mm"));
    EXPECT_EQ(*value(loaded->properties, keys::iptc, "Keywords"), PropertyValue(PropertyList{"alpha", "beta"}));
}

// Makes a file with ImageMagick; `format` forces the output format whatever the name says.
void convert(const std::string& arguments, const std::filesystem::path& file, const std::string& format = "") {
    const std::string command = "convert " + arguments + " " + format + "'" + file.string() + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Photos are offered by name, then decoded by content.
TEST(ImageLoader, DecodesByContentNotByName) {
    for (const char* name : {"a.jpg", "b.JPEG", "c.Heic", "d.HEIF"}) EXPECT_TRUE(ImageLoader::hasAcceptedExtension(name));
    for (const char* name : {"a.png", "jpg", "c.heic.txt", ".jpg"}) EXPECT_FALSE(ImageLoader::hasAcceptedExtension(name));
    TempDir folder;
    // A JPEG named .png decodes as a JPEG.
    const auto jpeg = folder / "photo.png";
    writeBytes(jpeg, encodeJpeg(patternBitmap(16, 12)));
    auto decoded = ImageLoader::load(jpeg);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->pixelSize(), (PixelSize{16, 12}));

    if (!hasTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    // 2 × 1: opaque red, half-transparent white.
    const auto png = folder / "really-a-png.jpg";
    convert("-size 1x1 xc:'#FF0000' xc:'#FFFFFF80' +append", png, "PNG32:");
    auto loaded = ImageLoader::load(png);
    ASSERT_TRUE(loaded) << loaded.error().description();
    ASSERT_EQ(loaded->pixelSize(), (PixelSize{2, 1}));
    const std::uint8_t* p = loaded->image.row(0);
    EXPECT_EQ((std::array<int, 4>{p[0], p[1], p[2], p[3]}), (std::array<int, 4>{0, 0, 255, 255}));
    // Premultiplied: white at alpha 128 is stored as 128.
    EXPECT_EQ((std::array<int, 4>{p[4], p[5], p[6], p[7]}), (std::array<int, 4>{128, 128, 128, 128}));
}

TEST(ImageLoader, HostileInputsFailWithTheirTexts) {
    TempDir folder;
    const Bytes jpeg = encodeJpeg(patternBitmap(256, 256));
    // SOF0 size fields patched to 65000 × 65000.
    Bytes huge = jpeg;
    for (std::size_t i = 0; i + 8 < huge.size(); ++i) {
        if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
            huge[i + 5] = 0xFD, huge[i + 6] = 0xE8, huge[i + 7] = 0xFD, huge[i + 8] = 0xE8;
            break;
        }
    }
    struct Case {
        std::string name;
        std::optional<Bytes> bytes;  // nullopt: no file at all
        ImageLoadError::Kind kind;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"missing.jpg", std::nullopt, ImageLoadError::Kind::unreadable, "Could not read missing.jpg"},
        {"empty.jpg", Bytes{}, ImageLoadError::Kind::unreadable, "Could not read empty.jpg"},
        {"notes.heic", Bytes{'h', 'e', 'l', 'l', 'o', '\n'}, ImageLoadError::Kind::unsupportedFormat,
         "notes.heic is not a supported image"},
        {"truncated.jpg", Bytes(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2)),
         ImageLoadError::Kind::unsupportedFormat, "truncated.jpg is not a supported image"},
        {"header-only.jpg", Bytes(jpeg.begin(), jpeg.begin() + 20), ImageLoadError::Kind::unsupportedFormat,
         "header-only.jpg is not a supported image"},
        {"huge.jpg", huge, ImageLoadError::Kind::unsupportedFormat, "huge.jpg is not a supported image"},
        {"broken.png", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0}, ImageLoadError::Kind::unsupportedFormat,
         "broken.png is not a supported image"},
    };
    for (const Case& c : cases) {
        const auto file = folder / c.name;
        if (c.bytes) writeBytes(file, *c.bytes);
        for (const auto& result : {ImageLoader::load(file),
                                   ImageLoader::loadThumbnail(file, 32, ThumbnailOrientation::upright)}) {
            ASSERT_FALSE(result) << c.name;
            EXPECT_EQ(result.error(), (ImageLoadError{c.kind, file})) << c.name;
            EXPECT_EQ(result.error().description(), c.text);
        }
    }
    // A directory cannot be read as a photo, and is never opened as one.
    EXPECT_EQ(ImageLoader::load(folder.path()).error().kind, ImageLoadError::Kind::notRegularFile);
    // The truncated file still has a readable header for discovery.
    auto info = ImageLoader::readInfo(folder / "truncated.jpg");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->pixelSize, (PixelSize{256, 256}));
}

TEST(ImageLoader, ThumbnailFitsTheLongerSideAndAppliesOrientationOnRequest) {
    TempDir folder;
    TiffBlock tiff;
    tiff.ifd0 = {shorts(0x0112, {6})};
    const auto file = folder / "wide.jpg";
    writeBytes(file, withSegments(encodeJpeg(patternBitmap(1000, 500)), {exifSegment(tiff.build())}));

    auto stored = ImageLoader::loadThumbnail(file, 300, ThumbnailOrientation::asStored);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->pixelSize(), (PixelSize{300, 150}));
    EXPECT_EQ(stored->orientation, 6);
    // The top-left quadrant is the red one, as stored.
    EXPECT_GT(stored->image.row(10)[10 * 4 + 2], 150);

    auto upright = ImageLoader::loadThumbnail(file, 300, ThumbnailOrientation::upright);
    ASSERT_TRUE(upright);
    EXPECT_EQ(upright->pixelSize(), (PixelSize{150, 300}));
    EXPECT_EQ(upright->orientation, 1);
    // Turned clockwise: the stored top-left corner is now top-right.
    EXPECT_GT(upright->image.row(10)[(150 - 10) * 4 + 2], 150);
    EXPECT_LT(upright->image.row(10)[10 * 4 + 2], 50);

    auto small = ImageLoader::loadThumbnail(file, 5000, ThumbnailOrientation::asStored);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->pixelSize(), (PixelSize{1000, 500}));  // never enlarged
}

TEST(ImageLoader, RefusesProgressiveFilesWithEndlessScans) {
    if (!hasTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    TempDir folder;
    const auto progressive = folder / "progressive.jpg";
    convert("-size 64x64 gradient:red-blue -interlace Plane", progressive);
    ASSERT_TRUE(ImageLoader::load(progressive));

    // The first spectral-band scan, with the Huffman table before it,
    // repeated hundreds of times: each repeat decodes cleanly.
    const Bytes bytes = readBytes(progressive);
    std::size_t previousScan = 0, scan = 0;
    for (std::size_t i = 0; i + 10 < bytes.size() && scan == 0; ++i) {
        if (bytes[i] != 0xFF || bytes[i + 1] != 0xDA) continue;
        const std::size_t components = bytes[i + 4];
        const std::size_t band = i + 5 + 2 * components;
        if (bytes[band] > 0 && (bytes[band + 2] >> 4) == 0)
            scan = i;
        else
            previousScan = i;
    }
    ASSERT_GT(scan, 0u);
    std::size_t start = scan;
    for (std::size_t i = previousScan; i < scan; ++i)
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC4) start = i;
    std::size_t end = scan + 2 + (std::size_t{bytes[scan + 2]} << 8 | bytes[scan + 3]);
    while (!(bytes[end] == 0xFF && bytes[end + 1] != 0 && (bytes[end + 1] & 0xF8) != 0xD0)) ++end;
    const auto at = [&](std::size_t i) { return bytes.begin() + static_cast<std::ptrdiff_t>(i); };
    Bytes bomb(bytes.begin(), at(end));
    for (int i = 0; i < 600; ++i) bomb.insert(bomb.end(), at(start), at(end));
    bomb.insert(bomb.end(), at(end), bytes.end());
    const auto file = folder / "scans.jpg";
    writeBytes(file, bomb);
    auto loaded = ImageLoader::load(file);
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error().kind, ImageLoadError::Kind::unsupportedFormat);
}

}  // namespace
}  // namespace veltrop::exporting
