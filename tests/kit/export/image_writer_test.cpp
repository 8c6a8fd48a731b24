#include "kit/export/image_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "kit/export/image_fixtures.h"
#include "kit/platform/exclusive_rename.h"
#include "support/test_support.h"

namespace veltrop::exporting {
namespace {

using dates::PropertyValue;
using namespace veltrop::testing;
namespace keys = dates::keys;

const std::string sourceXmp =
    "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
    "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description rdf:about='' "
    "xmlns:tiff='http://ns.adobe.com/tiff/1.0/' xmlns:exif='http://ns.adobe.com/exif/1.0/' "
    "xmlns:dc='http://purl.org/dc/elements/1.1/' tiff:Orientation='6' exif:PixelXDimension='64' "
    "exif:PixelYDimension='48' exif:GPSLatitude='51,30.5N' exif:DateTimeOriginal='2026-08-14T06:17:49'>"
    "<dc:creator><rdf:Seq><rdf:li>Ann Surveyor</rdf:li></rdf:Seq></dc:creator>"
    "</rdf:Description></rdf:RDF></x:xmpmeta><?xpacket end='w'?>";

// A source photo as a camera might store it: turned, with a thumbnail, GPS,
// XMP, IPTC and a colour profile.
std::filesystem::path makeSource(const TempDir& folder) {
    TiffBlock tiff;
    tiff.ifd0 = {ascii(0x010F, "Canon"), ascii(0x0110, "EOS R5"), shorts(0x0112, {6}),
                 ascii(0x0132, "2026:08:14 07:00:00")};
    tiff.exif = {shorts(0x8827, {400}), ascii(0x9003, "2026:08:14 06:17:49"), longs(0xA002, {64}),
                 longs(0xA003, {48})};
    tiff.gps = {ascii(0x0001, "N"), rationals(0x0002, {{51, 1}, {30, 1}, {30, 1}})};
    tiff.thumbnail = encodeJpeg(patternBitmap(16, 12));
    const auto file = folder / "source.jpg";
    writeBytes(file, withSegments(encodeJpeg(patternBitmap(64, 48)),
                                  {exifSegment(tiff.build()), xmpSegment(sourceXmp), iccSegment(iccProfile("RGB ")),
                                   iptcSegment(iptcRecord(120, "Bridge pier 4"))}));
    return file;
}

// What is carried and removed segment by segment is CopyMetadata's; here the
// values that change with the copy's size and turn.
TEST(ImageWriter, CopyCarriesMetadataWithOrientationAndSizeUpdated) {
    TempDir folder;
    const auto sourceFile = makeSource(folder);
    auto source = ImageLoader::load(sourceFile);
    ASSERT_TRUE(source);
    // The renderer hands over the upright picture, here 48 × 64.
    const auto destination = folder / "out" / "copy.jpg";
    ASSERT_TRUE(ImageWriter::write(patternBitmap(48, 64), destination, source->metadata, {0.9, false}));

    auto copy = ImageLoader::load(destination);
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->orientation, 1);
    EXPECT_EQ(copy->pixelSize(), (PixelSize{48, 64}));
    const auto& exif = dates::group(copy->properties, keys::exif);
    EXPECT_EQ(*dates::find(exif, "PixelXDimension"), PropertyValue(48));
    EXPECT_EQ(*dates::find(exif, "PixelYDimension"), PropertyValue(64));

    auto reference = referenceMetadata(destination);
    if (!reference) GTEST_SKIP() << "exiftool is not installed";
    EXPECT_EQ((*reference)["IFD0:Orientation"], 1);
    EXPECT_EQ((*reference)["XMP-exif:ExifImageWidth"], 48);
    EXPECT_EQ((*reference)["XMP-exif:ExifImageHeight"], 64);
    EXPECT_EQ((*reference)["XMP-dc:Creator"], "Ann Surveyor");
    EXPECT_TRUE(reference->contains("XMP-exif:GPSLatitude"));
}

// The EXIF block is patched, not rewritten: an entry nobody can read stays
// as it was, and the copy reads exactly like its source.
TEST(ImageWriter, CarriesEntriesOfAnInvalidTiffTypeAsTheyWere) {
    TempDir folder;
    TiffBlock tiff;
    TiffEntry broken = ascii(0x010E, "description");
    broken.type = 0x2A;  // no such TIFF type
    tiff.ifd0 = {broken, ascii(0x010F, "Maker"), shorts(0x0112, {3})};
    const auto sourceFile = folder / "source.jpg";
    writeBytes(sourceFile, withSegments(encodeJpeg(patternBitmap(8, 8)), {exifSegment(tiff.build())}));
    auto source = ImageLoader::load(sourceFile);
    ASSERT_TRUE(source);

    const auto destination = folder / "copy.jpg";
    ASSERT_TRUE(ImageWriter::write(patternBitmap(8, 8), destination, source->metadata, {}));
    auto copy = ImageLoader::load(destination);
    ASSERT_TRUE(copy);
    EXPECT_EQ(*dates::find(dates::group(copy->properties, keys::tiff), keys::make), PropertyValue("Maker"));
    EXPECT_EQ(copy->orientation, 1);
    auto reference = referenceMetadata(destination);
    if (!reference) GTEST_SKIP() << "exiftool is not installed";
    const auto original = *referenceMetadata(sourceFile);
    EXPECT_EQ((*reference)["ExifTool:Warning"], original["ExifTool:Warning"]);
    EXPECT_EQ(reference->value("IFD0:Make", ""), original.value("IFD0:Make", ""));
}

TEST(ImageWriter, NeverReplacesAnExistingFileAndLeavesNoTemporaryFolder) {
    TempDir folder;
    const auto destination = folder / "copy.jpg";
    ASSERT_TRUE(ImageWriter::write(patternBitmap(32, 32), destination, {}, {}));
    const Bytes first = readBytes(destination);
    EXPECT_TRUE(entriesStartingWith(folder.path(), ".veltrop-").empty());

    auto second = ImageWriter::write(patternBitmap(16, 16), destination, {}, {});
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error(), (ImageWriteError{ImageWriteError::Kind::destinationExists, destination, {}}));
    EXPECT_EQ(second.error().description(),
              "A file already exists at " + destination.string() + "; it was not replaced");
    EXPECT_EQ(readBytes(destination), first);
    EXPECT_TRUE(entriesStartingWith(folder.path(), ".veltrop-").empty());

    // A dangling symbolic link is something too.
    const auto link = folder / "link.jpg";
    std::filesystem::create_symlink(folder / "nowhere.jpg", link);
    EXPECT_EQ(ImageWriter::write(patternBitmap(8, 8), link, {}, {}).error().kind,
              ImageWriteError::Kind::destinationExists);
    EXPECT_FALSE(std::filesystem::exists(folder / "nowhere.jpg"));
}

TEST(ImageWriter, FolderProblemsReportTheSystemErrorAndLeaveNothing) {
    TempDir folder;
    writeFile(folder / "not-a-folder", "x");
    auto blocked = ImageWriter::write(patternBitmap(8, 8), folder / "not-a-folder" / "copy.jpg", {}, {});
    ASSERT_FALSE(blocked);
    EXPECT_EQ(blocked.error().kind, ImageWriteError::Kind::fileSystem);
    EXPECT_TRUE(blocked.error().error);

    if (::geteuid() != 0) {
        const auto locked = folder / "locked";
        std::filesystem::create_directory(locked);
        std::filesystem::permissions(locked, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        auto refused = ImageWriter::write(patternBitmap(8, 8), locked / "copy.jpg", {}, {});
        ASSERT_FALSE(refused);
        EXPECT_EQ(refused.error().kind, ImageWriteError::Kind::fileSystem);
        EXPECT_EQ(refused.error().error, std::errc::permission_denied);
        EXPECT_TRUE(std::filesystem::is_empty(locked));
    }
}

TEST(ImageWriter, QualityMapsOntoTheEncoderScale) {
    const std::vector<std::pair<double, int>> cases = {
        {0.0, 1}, {0.004, 1}, {0.5, 50}, {0.95, 95}, {1.0, 100}, {1.5, 100}, {-1.0, 1}};
    for (auto [quality, expected] : cases) EXPECT_EQ(ImageWriter::encoderQuality(quality), expected) << quality;
    // A higher quality keeps more detail: a larger file for the same picture.
    TempDir folder;
    const auto picture = patternBitmap(200, 200);
    ASSERT_TRUE(ImageWriter::write(picture, folder / "low.jpg", {}, {0.2, false}));
    ASSERT_TRUE(ImageWriter::write(picture, folder / "high.jpg", {}, {1.0, false}));
    EXPECT_LT(std::filesystem::file_size(folder / "low.jpg"), std::filesystem::file_size(folder / "high.jpg"));
}

TEST(ImageWriter, ParallelCopiesIntoOneFolderDoNotMeet) {
    TempDir folder;
    auto source = ImageLoader::load(makeSource(folder));
    ASSERT_TRUE(source);
    ImageLoader::prepare();
    const auto output = folder / "out";
    std::vector<std::expected<void, ImageWriteError>> results(8);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([&, i] {
            const auto destination = output / ("copy-" + std::to_string(i % 4) + ".jpg");
            results[i] = ImageWriter::write(patternBitmap(48, 64), destination, source->metadata, {0.8, i % 2 == 0});
            if (results[i]) results[i] = ImageLoader::load(destination) ? std::expected<void, ImageWriteError>{}
                                                                       : std::unexpected(ImageWriteError{});
        });
    }
    for (auto& thread : threads) thread.join();
    // Two writers per name: exactly one of each pair wins.
    const auto succeeded = std::count_if(results.begin(), results.end(), [](const auto& r) { return r.has_value(); });
    EXPECT_EQ(succeeded, 4);
    for (const auto& result : results) {
        if (!result) {
            EXPECT_EQ(result.error().kind, ImageWriteError::Kind::destinationExists);
        }
    }
    EXPECT_TRUE(entriesStartingWith(output, ".veltrop-").empty());
}

TEST(ExclusiveRename, RefusesAnExistingDestinationInBothWays) {
    TempDir folder;
    writeFile(folder / "a", "new");
    writeFile(folder / "taken", "old");
    EXPECT_EQ(platform::renameWithoutReplacing(folder / "a", folder / "taken"), std::errc::file_exists);
    EXPECT_EQ(platform::detail::linkThenUnlink(folder / "a", folder / "taken"), std::errc::file_exists);
    EXPECT_EQ(readFile(folder / "taken"), "old");
    EXPECT_EQ(readFile(folder / "a"), "new");

    EXPECT_FALSE(platform::detail::linkThenUnlink(folder / "a", folder / "b"));
    EXPECT_FALSE(std::filesystem::exists(folder / "a"));
    EXPECT_EQ(readFile(folder / "b"), "new");
    EXPECT_FALSE(platform::renameWithoutReplacing(folder / "b", folder / "c"));
    EXPECT_EQ(readFile(folder / "c"), "new");
}

}  // namespace
}  // namespace veltrop::exporting
