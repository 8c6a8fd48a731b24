// What a copy carries: every segment of its source, in order, changed only
// where the copy differs; what is removed is gone from the bytes.

#include <gtest/gtest.h>

#include "kit/export/image_fixtures.h"
#include "kit/export/image_writer.h"
#include "kit/platform/md5.h"
#include "support/test_support.h"

namespace veltrop::exporting {
namespace {

using namespace veltrop::testing;

Bytes text(std::string_view value) { return Bytes(value.begin(), value.end()); }

Segment segment(int marker, std::string_view signature, const Bytes& data) {
    Bytes payload = text(signature);
    payload.insert(payload.end(), data.begin(), data.end());
    return {marker, payload};
}

Bytes bigEndian32(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

// A plain JPEG without its own JFIF segment, so that the source's come first.
Bytes plainJpeg(int width, int height) {
    Bytes jpeg = encodeJpeg(patternBitmap(width, height));
    const std::size_t length = std::size_t{jpeg[4]} << 8 | jpeg[5];
    jpeg.erase(jpeg.begin() + 2, jpeg.begin() + 4 + static_cast<std::ptrdiff_t>(length));
    return jpeg;
}

const std::string gpsDatum = "Veltrop datum 51N";
const std::string xmpGps = "51,29.7213N";
const std::string extendedGps = "Altitude 812/10";
const Bytes photoshopThumbnail = text("thumbnail resource bytes 0123456789");
const Bytes jfifThumbnail = {1, 2, 3, 4, 5, 6};

std::string packet(const std::string& body) {
    return "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
           "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
           "xmlns:tiff='http://ns.adobe.com/tiff/1.0/' xmlns:exif='http://ns.adobe.com/exif/1.0/' "
           "xmlns:my='http://example.com/my/' xmlns:xmpNote='http://ns.adobe.com/xmp/note/' " +
           body + "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
}

std::vector<Segment> extension(const std::string& guid, const std::string& extended, std::size_t chunk) {
    std::vector<Segment> chunks;
    for (std::size_t offset = 0; offset < extended.size(); offset += chunk) {
        Bytes data = text(guid);
        for (auto b : bigEndian32(static_cast<std::uint32_t>(extended.size()))) data.push_back(b);
        for (auto b : bigEndian32(static_cast<std::uint32_t>(offset))) data.push_back(b);
        const std::string part = extended.substr(offset, chunk);
        data.insert(data.end(), part.begin(), part.end());
        chunks.push_back(segment(0xE1, std::string_view("http://ns.adobe.com/xmp/extension/\0", 35), data));
    }
    return chunks;
}

struct Source {
    std::vector<Segment> segments;
    Bytes profile;
    std::string extendedGuid;
};

// A source with one of nearly every kind of segment real files carry.
Source richSource() {
    Source source;
    source.profile = iccProfile("RGB ", 100000);
    TiffBlock tiff;
    tiff.ifd0 = {ascii(0x010F, "Maker"), shorts(0x0112, {6})};
    tiff.exif = {ascii(0x9003, "2026:08:14 06:17:49")};
    tiff.gps = {ascii(0x0001, "N"), ascii(0x0012, gpsDatum)};
    tiff.thumbnail = encodeJpeg(patternBitmap(16, 12));

    const std::string extended =
        "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<rdf:Description rdf:about='' xmlns:my='http://example.com/my/' xmlns:exif='http://ns.adobe.com/exif/1.0/'>"
        "<my:Depth>" + std::string(90000, 'd') + "</my:Depth><exif:GPSAltitude>" + extendedGps +
        "</exif:GPSAltitude></rdf:Description></rdf:RDF></x:xmpmeta>";
    source.extendedGuid = platform::md5Hex(text(extended));
    const std::string main = packet("tiff:Orientation='6' exif:GPSLatitude='" + xmpGps + "' my:Site='Pier 4' "
                                    "xmpNote:HasExtendedXMP='" + source.extendedGuid + "'>");

    Bytes resources = photoshopResource(0x03ED, Bytes(16, 1));
    for (auto b : photoshopResource(0x0404, iptcRecord(120, "Bridge pier 4"))) resources.push_back(b);
    for (auto b : photoshopResource(0x040C, photoshopThumbnail)) resources.push_back(b);

    Bytes jfif = {1, 2, 1, 1, 0x2C, 1, 0x2C, 2, 1};  // version 1.02, 300 × 300 dpi, a 2 × 1 thumbnail
    jfif.insert(jfif.end(), jfifThumbnail.begin(), jfifThumbnail.end());

    auto& s = source.segments;
    s.push_back(segment(0xE0, std::string_view("JFIF\0", 5), jfif));
    s.push_back(exifSegment(tiff.build()));
    s.push_back(segment(0xE0, std::string_view("JFXX\0", 5), Bytes{0x10, 0xFF, 0xD8, 0xFF, 0xD9}));
    s.push_back(xmpSegment(main));
    for (auto& chunk : extension(source.extendedGuid, extended, 60000)) s.push_back(chunk);
    const std::size_t half = source.profile.size() / 2;
    s.push_back(segment(0xE2, std::string_view("ICC_PROFILE\0\1\2", 14),
                        Bytes(source.profile.begin(), source.profile.begin() + static_cast<std::ptrdiff_t>(half))));
    s.push_back(segment(0xE2, std::string_view("ICC_PROFILE\0\2\2", 14),
                        Bytes(source.profile.begin() + static_cast<std::ptrdiff_t>(half), source.profile.end())));
    s.push_back(segment(0xE2, std::string_view("FPXR\0", 5), Bytes{0, 1, 0, 0, 0, 4, 'x', 'y'}));
    s.push_back(segment(0xE2, std::string_view("MPF\0", 4), text("MM\0*\0\0\0\x08")));
    s.push_back(segment(0xE3, std::string_view("Meta\0\0", 6), text("II*\0\x08\0\0\0\0\0")));
    s.push_back(segment(0xED, std::string_view("Photoshop 3.0\0", 14), resources));
    s.push_back(segment(0xEE, "Adobe", Bytes{0, 100, 0x80, 0, 0, 0, 1}));
    s.push_back(segment(0xEF, "", text("radiometric data of a thermal camera")));
    s.push_back(segment(0xFE, "", text("Site survey, pier 4")));
    return source;
}

// The reference tool shows long values by their size.
bool holds(const nlohmann::json& value, std::size_t size) {
    if (!value.is_string()) return false;
    const std::string text = value.get<std::string>();
    return text.size() == size || text == "(Binary data " + std::to_string(size) + " bytes, use -b option to extract)";
}

bool sameSegment(const Segment& a, const Segment& b) { return a.marker == b.marker && a.payload == b.payload; }

TEST(CopyMetadata, CarriesEverySegmentInOrderChangedOnlyWhereTheCopyDiffers) {
    TempDir folder;
    const Source source = richSource();
    const auto sourceFile = folder / "source.jpg";
    writeBytes(sourceFile, withSegments(plainJpeg(64, 48), source.segments));
    auto loaded = ImageLoader::load(sourceFile);
    ASSERT_TRUE(loaded);
    for (bool removeGPS : {false, true}) {
        SCOPED_TRACE(removeGPS ? "without GPS" : "with GPS");
        const auto copyFile = folder / (removeGPS ? "no-gps.jpg" : "copy.jpg");
        ASSERT_TRUE(ImageWriter::write(patternBitmap(48, 64), copyFile, loaded->metadata, {0.9, removeGPS}));
        const Bytes copy = readBytes(copyFile);
        const auto segments = segmentsOf(copy);

        // Carried byte for byte, in the source's order.
        // The extended XMP changes only when its GPS property goes; then it gets a new name.
        std::vector<std::size_t> carried = {6, 7, 8, 10, 13, 14};  // ICC, FlashPix, Meta, APP15, comment
        if (!removeGPS) carried.insert(carried.begin(), {4, 5});
        std::vector<Segment> expectedUnchanged;
        for (std::size_t i : carried) expectedUnchanged.push_back(source.segments[i]);
        std::vector<Segment> unchanged;
        for (const Segment& s : segments)
            if (std::any_of(source.segments.begin(), source.segments.end(), [&](const Segment& o) { return sameSegment(s, o); }))
                unchanged.push_back(s);
        ASSERT_EQ(unchanged.size(), expectedUnchanged.size());
        for (std::size_t i = 0; i < unchanged.size(); ++i) EXPECT_TRUE(sameSegment(unchanged[i], expectedUnchanged[i])) << i;

        // JFIF first, keeping its density but not its thumbnail.
        ASSERT_FALSE(segments.empty());
        EXPECT_EQ(segments[0].marker, 0xE0);
        EXPECT_EQ(segments[0].payload, (Bytes{'J', 'F', 'I', 'F', 0, 1, 2, 1, 1, 0x2C, 1, 0x2C, 0, 0}));
        // What describes images or an encoding the copy does not have is gone.
        for (const Segment& s : segments) {
            EXPECT_FALSE(s.marker == 0xEE || (s.marker == 0xE2 && s.payload[0] == 'M') ||
                         (s.marker == 0xE0 && s.payload[1] == 'F' && s.payload[2] == 'X'))
                << std::hex << s.marker;
        }
        EXPECT_FALSE(contains(copy, photoshopThumbnail));
        EXPECT_FALSE(contains(copy, Bytes{0x2C, 2, 1, 1, 2, 3, 4, 5, 6}));  // the JFIF thumbnail
        EXPECT_EQ(contains(copy, text(gpsDatum)), !removeGPS);
        EXPECT_EQ(contains(copy, text(xmpGps)), !removeGPS);
        EXPECT_EQ(contains(copy, text(extendedGps)), !removeGPS);

        auto read = referenceMetadata(copyFile);
        if (!read) GTEST_SKIP() << "exiftool is not installed";
        EXPECT_FALSE(read->contains("ExifTool:Warning")) << (*read)["ExifTool:Warning"];
        EXPECT_EQ((*read)["IFD0:Orientation"], 1);
        EXPECT_EQ((*read)["XMP-tiff:Orientation"], 1);
        EXPECT_EQ((*read)["XMP-my:Site"], "Pier 4");
        // The extended packet is found under the name the main packet gives it.
        EXPECT_TRUE(holds((*read)["XMP-my:Depth"], 90000));
        EXPECT_EQ((*read)["IPTC:Caption-Abstract"], "Bridge pier 4");
        EXPECT_EQ((*read)["File:Comment"], "Site survey, pier 4");
        EXPECT_EQ((*read)["JFIF:XResolution"], 300);
        EXPECT_FALSE(read->contains("Photoshop:PhotoshopThumbnail"));
        EXPECT_FALSE(read->contains("IFD1:ThumbnailOffset"));
        if (removeGPS) {
            for (const auto& [key, value] : read->items()) EXPECT_FALSE(key.contains("GPS")) << key;
        }
        auto reloaded = ImageLoader::load(copyFile);
        ASSERT_TRUE(reloaded);
        EXPECT_EQ(reloaded->metadata.icc, source.profile);
    }
}

// Photoshop resources larger than a segment run on over several; the copy
// keeps them all but the thumbnail, and a reader still finds the IPTC.
TEST(CopyMetadata, KeepsPhotoshopResourcesOverSeveralSegments) {
    TempDir folder;
    Bytes records;
    for (int i = 0; i < 40; ++i)
        for (auto b : iptcRecord(25, "keyword " + std::to_string(i) + " " + std::string(2000, 'k'))) records.push_back(b);
    for (auto b : iptcRecord(120, "Bridge pier 4")) records.push_back(b);
    Bytes resources = photoshopResource(0x040C, photoshopThumbnail);
    for (auto b : photoshopResource(0x0404, records)) resources.push_back(b);
    const std::size_t half = resources.size() / 2;
    const std::vector<Segment> segments = {
        segment(0xED, std::string_view("Photoshop 3.0\0", 14), Bytes(resources.begin(), resources.begin() + static_cast<std::ptrdiff_t>(half))),
        segment(0xED, std::string_view("Photoshop 3.0\0", 14), Bytes(resources.begin() + static_cast<std::ptrdiff_t>(half), resources.end())),
    };
    const auto sourceFile = folder / "source.jpg";
    writeBytes(sourceFile, withSegments(plainJpeg(32, 32), segments));
    auto loaded = ImageLoader::load(sourceFile);
    ASSERT_TRUE(loaded);
    const auto copyFile = folder / "copy.jpg";
    ASSERT_TRUE(ImageWriter::write(patternBitmap(32, 32), copyFile, loaded->metadata, {}));
    const Bytes copy = readBytes(copyFile);
    EXPECT_FALSE(contains(copy, photoshopThumbnail));
    EXPECT_TRUE(contains(copy, iptcRecord(120, "Bridge pier 4")));
    const auto parts = segmentsOf(copy);
    EXPECT_EQ(std::count_if(parts.begin(), parts.end(), [](const Segment& s) { return s.marker == 0xED; }), 2);

    auto read = referenceMetadata(copyFile);
    if (!read) GTEST_SKIP() << "exiftool is not installed";
    EXPECT_EQ((*read)["IPTC:Caption-Abstract"], "Bridge pier 4");
    EXPECT_EQ((*read)["IPTC:Keywords"].size(), 40u);
}

// Blocks from a container without JPEG's segment limit (HEIF) are fitted.
TEST(CopyMetadata, FitsBlocksLargerThanOneSegment) {
    TempDir folder;
    const Bytes bigNote(70000, 0x4E);
    TiffBlock thumbnailLast;
    thumbnailLast.ifd0 = {ascii(0x010F, "Maker"), shorts(0x0112, {6})};
    thumbnailLast.exif = {ascii(0x9003, "2026:08:14 06:17:49")};
    thumbnailLast.thumbnail = Bytes(70000, 0x7A);
    TiffBlock largeMakerNote = thumbnailLast;
    largeMakerNote.thumbnail.clear();
    largeMakerNote.exif.push_back(TiffEntry{0x927C, 7, static_cast<std::uint32_t>(bigNote.size()), bigNote});

    std::string body = "my:Small='s'>";
    for (int i = 0; i < 3; ++i)
        body += "<my:Big" + std::to_string(i) + ">" + std::string(30000, static_cast<char>('a' + i)) + "</my:Big" +
                std::to_string(i) + ">";
    const std::string largeXmp = packet(body);

    struct Case {
        const char* name;
        platform::MetadataBlocks blocks;
    };
    platform::MetadataBlocks large;
    large.exif = thumbnailLast.build();
    large.xmp = largeXmp;
    large.icc = iccProfile("RGB ", 100000);
    platform::MetadataBlocks withMakerNote;
    withMakerNote.exif = largeMakerNote.build();
    const Case cases[] = {
        {"thumbnail cut off", large},
        {"standard tags without the maker note", withMakerNote},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto copyFile = folder / (std::string(c.name) + ".jpg");
        ASSERT_TRUE(ImageWriter::write(patternBitmap(48, 64), copyFile, c.blocks, {0.9, false}));
        const Bytes copy = readBytes(copyFile);
        EXPECT_FALSE(contains(copy, Bytes(64, 0x7A)));
        EXPECT_FALSE(contains(copy, Bytes(64, 0x4E)));
        auto reloaded = ImageLoader::load(copyFile);
        ASSERT_TRUE(reloaded);
        EXPECT_EQ(reloaded->metadata.icc, c.blocks.icc);

        auto read = referenceMetadata(copyFile);
        if (!read) GTEST_SKIP() << "exiftool is not installed";
        EXPECT_EQ((*read)["ExifIFD:DateTimeOriginal"], "2026:08:14 06:17:49");
        EXPECT_EQ((*read)["IFD0:Make"], "Maker");
        EXPECT_EQ((*read)["IFD0:Orientation"], 1);
        EXPECT_FALSE(read->contains("IFD1:ThumbnailLength"));
        if (!c.blocks.xmp.empty()) {
            EXPECT_EQ((*read)["XMP-my:Small"], "s");
            for (int i = 0; i < 3; ++i)
                EXPECT_TRUE(holds((*read)["XMP-my:Big" + std::to_string(i)], 30000)) << i;
        }
    }
}

}  // namespace
}  // namespace veltrop::exporting
