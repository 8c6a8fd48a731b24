#include "kit/platform/xmp_edit.h"

#include <gtest/gtest.h>

#include "kit/image/utf8.h"
#include "kit/platform/md5.h"

namespace veltrop::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string head =
    "<?xpacket begin='\xEF\xBB\xBF' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
    "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>";
const std::string tail = "</rdf:RDF></x:xmpmeta><?xpacket end='w'?>";
const std::string namespaces =
    " xmlns:tiff='http://ns.adobe.com/tiff/1.0/' xmlns:exif='http://ns.adobe.com/exif/1.0/'"
    " xmlns:xmp='http://ns.adobe.com/xap/1.0/'";

Bytes bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string edited(const std::string& packet, const CopyChanges& changes) {
    auto result = editXmp(bytes(packet), xmpEditsForCopy(changes));
    return result ? std::string(result->begin(), result->end()) : "(not XML)";
}

TEST(XmpEdit, ChangesOnlyTheNamedPropertiesWhereverTheyAre) {
    struct Case {
        const char* name;
        bool removeGPS;
        std::string description;
        std::string expected;
    };
    const Case cases[] = {
        {"attributes", true,
         "<rdf:Description rdf:about=''" + namespaces +
             " tiff:Orientation='6' exif:PixelXDimension=\"640\" exif:GPSLatitude='51,30.5N'"
             " exif:DateTimeOriginal='2026-08-14T06:17:49'/>",
         "<rdf:Description rdf:about=''" + namespaces +
             " tiff:Orientation='1' exif:PixelXDimension=\"1200\" exif:DateTimeOriginal='2026-08-14T06:17:49'/>"},
        {"elements under other prefixes", false,
         "<rdf:Description xmlns:t='http://ns.adobe.com/tiff/1.0/'>\n <t:Orientation>8</t:Orientation>\n"
         " <t:ImageLength>480</t:ImageLength>\n <Orientation xmlns='http://ns.adobe.com/tiff/1.0/'>3</Orientation>\n"
         "</rdf:Description>",
         "<rdf:Description xmlns:t='http://ns.adobe.com/tiff/1.0/'>\n <t:Orientation>1</t:Orientation>\n"
         " <t:ImageLength>900</t:ImageLength>\n <Orientation xmlns='http://ns.adobe.com/tiff/1.0/'>1</Orientation>\n"
         "</rdf:Description>"},
        {"GPS inside a location structure", true,
         "<rdf:Description" + namespaces +
             " xmlns:Iptc4xmpExt='http://iptc.org/std/Iptc4xmpExt/2008-02-29/'><Iptc4xmpExt:LocationCreated><rdf:Bag>"
             "<rdf:li rdf:parseType='Resource'><Iptc4xmpExt:City>Leeds</Iptc4xmpExt:City>\n  "
             "<exif:GPSLatitude>53,48.1N</exif:GPSLatitude><exif:GPSVersionID><rdf:Seq><rdf:li>2</rdf:li></rdf:Seq>"
             "</exif:GPSVersionID></rdf:li></rdf:Bag></Iptc4xmpExt:LocationCreated></rdf:Description>",
         "<rdf:Description" + namespaces +
             " xmlns:Iptc4xmpExt='http://iptc.org/std/Iptc4xmpExt/2008-02-29/'><Iptc4xmpExt:LocationCreated><rdf:Bag>"
             "<rdf:li rdf:parseType='Resource'><Iptc4xmpExt:City>Leeds</Iptc4xmpExt:City></rdf:li></rdf:Bag>"
             "</Iptc4xmpExt:LocationCreated></rdf:Description>"},
        {"GPS kept unless asked", false,
         "<rdf:Description" + namespaces + "><exif:GPSLatitude>53,48.1N</exif:GPSLatitude></rdf:Description>",
         "<rdf:Description" + namespaces + "><exif:GPSLatitude>53,48.1N</exif:GPSLatitude></rdf:Description>"},
        // Readers still show these as a position (exiftool composes GPSPosition).
        {"GPS in another namespace or another version of EXIF's", true,
         "<rdf:Description xmlns:exif='http://example.com/not-exif/' xmlns:old='http://ns.adobe.com/exif/0.0/' "
         "exif:GPSLatitude='1' old:GPSLongitude='2' exif:Make='Maker'/>",
         "<rdf:Description xmlns:exif='http://example.com/not-exif/' xmlns:old='http://ns.adobe.com/exif/0.0/' "
         "exif:Make='Maker'/>"},
        {"thumbnails, structured orientation, comments", false,
         "<rdf:Description" + namespaces +
             "><!-- <tiff:Orientation>6</tiff:Orientation> -->\n   <xmp:Thumbnails>\n    <rdf:Alt>\n"
             "     <rdf:li rdf:parseType='Resource'><xmpGImg:image xmlns:xmpGImg='http://ns.adobe.com/xap/1.0/g/img/'>"
             "/9j/4AAQ</xmpGImg:image></rdf:li>\n    </rdf:Alt>\n   </xmp:Thumbnails>\n"
             "   <tiff:Orientation><rdf:Alt><rdf:li>6</rdf:li></rdf:Alt></tiff:Orientation>\n"
             "   <xmp:Rating><![CDATA[5]]></xmp:Rating>\n</rdf:Description>",
         "<rdf:Description" + namespaces +
             "><!-- <tiff:Orientation>6</tiff:Orientation> -->\n   <xmp:Rating><![CDATA[5]]></xmp:Rating>\n"
             "</rdf:Description>"},
        {"indexes of appended images", false,
         "<rdf:Description xmlns:hdrgm='http://ns.adobe.com/hdr-gain-map/1.0/' "
         "xmlns:GCamera='http://ns.google.com/photos/1.0/camera/' "
         "xmlns:Container='http://ns.google.com/photos/1.0/container/' hdrgm:Version='1.0' GCamera:MotionPhoto='1' "
         "GCamera:MotionPhotoVersion='1' GCamera:Hdr='1'><Container:Directory><rdf:Seq><rdf:li>x</rdf:li></rdf:Seq>"
         "</Container:Directory></rdf:Description>",
         "<rdf:Description xmlns:hdrgm='http://ns.adobe.com/hdr-gain-map/1.0/' "
         "xmlns:GCamera='http://ns.google.com/photos/1.0/camera/' "
         "xmlns:Container='http://ns.google.com/photos/1.0/container/' GCamera:Hdr='1'></rdf:Description>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(edited(head + c.description + tail, {1200, 900, c.removeGPS}), head + c.expected + tail);
    }
}

// The mirrors of DateTimeOriginal and CreateDate take the new date, whole
// seconds, with the zone only when known; no property is added.
TEST(XmpEdit, ACorrectedDateReplacesTheDatePropertiesThatExist) {
    const std::string ps = " xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/'";
    const std::string source = "<rdf:Description" + namespaces + ps +
                               " exif:DateTimeOriginal='2008-03-14T13:59:26-06:00'"
                               " photoshop:DateCreated='2008-03-14T13:59:26.054-06:00' xmp:ModifyDate='2009-01-01T00:00:00'>"
                               "<xmp:CreateDate>2008-03-14T20:59:26.535Z</xmp:CreateDate></rdf:Description>";
    const auto expected = [&](const std::string& date) {
        return "<rdf:Description" + namespaces + ps + " exif:DateTimeOriginal='" + date +
               "' photoshop:DateCreated='" + date + "' xmp:ModifyDate='2009-01-01T00:00:00'>"
               "<xmp:CreateDate>" + date + "</xmp:CreateDate></rdf:Description>";
    };
    const dates::CaptureDate date{2008, 3, 14, 15, 29, 26};
    EXPECT_EQ(edited(head + source + tail, {1, 1, false, CopyDate{date}}),
              head + expected("2008-03-14T15:29:26") + tail);
    EXPECT_EQ(edited(head + source + tail, {1, 1, false, CopyDate{date, -6 * 3600}}),
              head + expected("2008-03-14T15:29:26-06:00") + tail);
    const std::string undated = "<rdf:Description" + namespaces + " tiff:Make='X'/>";
    EXPECT_EQ(edited(head + undated + tail, {1, 1, false, CopyDate{date}}), head + undated + tail);
}

// Also refused: no element at all, and markup inside a processing
// instruction, where lenient readers still find the properties (a packet
// wrapper left open swallows the whole packet).
TEST(XmpEdit, RefusesWhatIsNotXml) {
    for (const std::string packet :
         {"<x:xmpmeta><rdf:RDF></x:xmpmeta>", "<a b='1></a>", "<a><b></a></b>", "<a>", "", "<?xpacket end='w'?>",
          "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d' <x:xmpmeta><exif:GPSLatitude>48,6.0N</exif:GPSLatitude>"
          "</x:xmpmeta><?xpacket end='w'?>"})
        EXPECT_EQ(edited(packet, {}), "(not XML)") << packet;
}

// XMP may be stored in UTF-16 of either byte order; the edit keeps it so.
TEST(XmpEdit, EditsUtf16InItsOwnByteOrder) {
    const std::string source = "<rdf:Description" + namespaces + " tiff:Orientation='6' dc:title='\xC3\xA9t\xC3\xA9'/>";
    const std::string expected = "<rdf:Description" + namespaces + " tiff:Orientation='1' dc:title='\xC3\xA9t\xC3\xA9'/>";
    const auto utf16 = [](const std::string& text, bool big, bool bom) {
        Bytes out;
        const auto put = [&](char32_t c) {
            const auto hi = static_cast<std::uint8_t>(c >> 8), lo = static_cast<std::uint8_t>(c);
            out.insert(out.end(), {big ? hi : lo, big ? lo : hi});
        };
        if (bom) put(U'\uFEFF');
        image::forEachCodePoint(text, put);
        return out;
    };
    for (bool big : {false, true}) {
        for (bool bom : {false, true}) {
            auto result = editXmp(utf16(head + source + tail, big, bom), xmpEditsForCopy({10, 10, false}));
            ASSERT_TRUE(result);
            EXPECT_EQ(*result, utf16(head + expected + tail, big, bom)) << big << bom;
        }
    }
}

TEST(XmpEdit, ReadsTheExtendedPacketsNameInEitherForm) {
    const std::string note = " xmlns:xmpNote='http://ns.adobe.com/xmp/note/'";
    EXPECT_EQ(xmpValue(bytes(head + "<rdf:Description" + note + " xmpNote:HasExtendedXMP='ABC'/>" + tail),
                       xmpns::note, "HasExtendedXMP"),
              "ABC");
    EXPECT_EQ(xmpValue(bytes(head + "<rdf:Description" + note + "><xmpNote:HasExtendedXMP>DEF</xmpNote:HasExtendedXMP>"
                                    "</rdf:Description>" + tail),
                       xmpns::note, "HasExtendedXMP"),
              "DEF");
    EXPECT_EQ(xmpValue(bytes(head + tail), xmpns::note, "HasExtendedXMP"), std::nullopt);
}

TEST(XmpEdit, TrimsOnlyThePaddingToFit) {
    const std::string packet = head + "<rdf:Description/>" + tail;
    const std::string padded = packet.substr(0, packet.size() - 19) + std::string(100, ' ') + "<?xpacket end='w'?>";
    Bytes trimmed = bytes(padded);
    ASSERT_TRUE(trimXmpPadding(trimmed, padded.size() - 60));
    EXPECT_EQ(trimmed.size(), padded.size() - 60);
    EXPECT_EQ(std::string(trimmed.begin(), trimmed.end()),
              packet.substr(0, packet.size() - 19) + std::string(40, ' ') + "<?xpacket end='w'?>");
    Bytes tooLarge = bytes(padded);
    EXPECT_FALSE(trimXmpPadding(tooLarge, padded.size() - 101));
}

TEST(XmpEdit, SplitsALargePacketAsJpegFilesNeed) {
    std::string description = "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'"
                              " xmlns:my='http://example.com/my/' my:Small='s'>";
    for (int i = 0; i < 3; ++i)
        description += "<my:Big" + std::to_string(i) + ">" + std::string(30000, static_cast<char>('a' + i)) + "</my:Big" +
                       std::to_string(i) + ">";
    description += "<dc:title>kept</dc:title><my:Empty/></rdf:Description>";
    const std::string packet = head + description + tail;
    auto split = splitXmp(packet, 65504);
    ASSERT_TRUE(split);
    EXPECT_LE(split->main.size(), 65504u);
    EXPECT_EQ(split->guid, md5Hex(bytes(split->extended)));
    EXPECT_EQ(xmpValue(bytes(split->main), xmpns::note, "HasExtendedXMP"), split->guid);
    // One of the large properties moved; each is in exactly one packet.
    for (int i = 0; i < 3; ++i) {
        const std::string big = std::string(30000, static_cast<char>('a' + i));
        EXPECT_NE(split->main.contains(big), split->extended.contains(big)) << i;
    }
    EXPECT_TRUE(split->main.contains("<dc:title>kept</dc:title>"));
    EXPECT_TRUE(editXmp(bytes(split->main), {}));
    EXPECT_TRUE(editXmp(bytes(split->extended), {}));
    EXPECT_FALSE(splitXmp(packet, 100));
}

TEST(Md5, MatchesTheReferenceDigests) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
        {std::string(56, 'x'), "668A72D5BA17F08E62DABCAFAD6DB14B"},
    };
    for (const auto& [input, digest] : cases) EXPECT_EQ(md5Hex(bytes(input)), digest) << input.size();
}

}  // namespace
}  // namespace veltrop::platform
