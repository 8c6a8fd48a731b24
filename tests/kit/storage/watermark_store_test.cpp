#include "kit/storage/watermark_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "kit/export/image_writer.h"
#include "kit/platform/png_encoder.h"
#include "support/test_support.h"

namespace veltrop::storage {
namespace {

namespace fs = std::filesystem;
using settings::WatermarkImageID;
using testing::readFile;
using testing::TempDir;
using testing::writeFile;

// A logo with a transparent background, a half-transparent band and an opaque square.
render::Bitmap logo() {
    render::Bitmap image = *render::Bitmap::allocate(12, 8);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint8_t* pixel = image.row(y) + 4 * x;
            int alpha = 0;
            int red = 0, green = 0, blue = 0;
            if (x >= 4 && x < 8) { alpha = 255; red = 200; green = 30; blue = 90; }
            else if (y < 3) { alpha = 128; red = 255; green = 255; blue = 255; }
            pixel[0] = static_cast<std::uint8_t>(blue * alpha / 255);
            pixel[1] = static_cast<std::uint8_t>(green * alpha / 255);
            pixel[2] = static_cast<std::uint8_t>(red * alpha / 255);
            pixel[3] = static_cast<std::uint8_t>(alpha);
        }
    }
    return image;
}

fs::path writeLogo(const fs::path& file) {
    writeFile(file, *platform::encodePng(logo()));
    return file;
}

void expectSamePixels(const render::Bitmap& actual, const render::Bitmap& expected) {
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width * 4; ++x)
            ASSERT_LE(std::abs(actual.row(y)[x] - expected.row(y)[x]), 1) << "x " << x / 4 << " y " << y;
}

std::set<std::string> folderEntries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

TEST(WatermarkStore, ImportKeepsAPngCopyWithItsAlpha) {
    TempDir dir;
    const fs::path picked = writeLogo(dir / "picked" / "logo.png");
    WatermarkStore store(dir / "Veltrop" / "Watermarks");

    auto id = store.importImage(picked);
    ASSERT_TRUE(id) << id.error().description();
    const fs::path copy = dir / "Veltrop" / "Watermarks" / (id->rawValue.text() + ".png");
    EXPECT_EQ(store.imageURL(*id), copy);
    EXPECT_EQ(readFile(copy).substr(1, 3), "PNG");

    fs::remove(picked);  // the copy no longer depends on the picked file
    auto loaded = store.loadImage(*id);
    ASSERT_TRUE(loaded);
    expectSamePixels(*loaded, logo());
    EXPECT_EQ(loaded->row(7)[3], 0);     // transparent corner stays transparent
    EXPECT_EQ(loaded->row(0)[3], 128);   // half-transparent band keeps its alpha
}

// A JPEG whose EXIF says its stored pixels must be turned (orientation 6):
// stored 16 x 8, left half red, right half blue; seen upright, red is on top.
fs::path writeSidewaysJpeg(const fs::path& file) {
    render::Bitmap stored = *render::Bitmap::allocate(16, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            std::uint8_t* pixel = stored.row(y) + 4 * x;
            const bool red = x < 8;
            pixel[0] = red ? 0 : 255;
            pixel[1] = 0;
            pixel[2] = red ? 255 : 0;
            pixel[3] = 255;
        }
    const fs::path plain = file.parent_path() / "plain.jpg";
    if (!exporting::ImageWriter::write(stored, plain, {}, {})) return {};
    const std::string tiff("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
    const std::string payload = std::string("Exif\0\0", 6) + tiff;
    const std::size_t length = payload.size() + 2;
    std::string jpeg = readFile(plain);
    jpeg.insert(2, std::string{'\xFF', '\xE1', static_cast<char>(length >> 8), static_cast<char>(length & 0xFF)} + payload);
    writeFile(file, jpeg);
    return file;
}

TEST(WatermarkStore, ASidewaysPhotoIsKeptUpright) {
    TempDir dir;
    const fs::path picked = writeSidewaysJpeg(dir / "logo.jpg");
    ASSERT_FALSE(picked.empty());
    WatermarkStore store(dir / "Watermarks");
    auto id = store.importImage(picked);
    ASSERT_TRUE(id);
    auto loaded = store.loadImage(*id);
    ASSERT_TRUE(loaded);
    ASSERT_EQ(loaded->width, 8);
    ASSERT_EQ(loaded->height, 16);
    EXPECT_GT(loaded->row(2)[4 * 4 + 2], 200);   // top: red
    EXPECT_GT(loaded->row(13)[4 * 4 + 0], 200);  // bottom: blue
}

TEST(WatermarkStore, ImportingTwiceMakesTwoCopies) {
    TempDir dir;
    const fs::path picked = writeLogo(dir / "logo.png");
    WatermarkStore store(dir / "Watermarks");
    auto first = store.importImage(picked);
    auto second = store.importImage(picked);
    ASSERT_TRUE(first && second);
    EXPECT_NE(*first, *second);
    const auto ids = store.allImageIDs();
    EXPECT_EQ(std::set<WatermarkImageID>(ids.begin(), ids.end()), (std::set<WatermarkImageID>{*first, *second}));
}

TEST(WatermarkStore, AFileThatIsNotAnImageIsRefusedByNameAndNothingIsCreated) {
    TempDir dir;
    writeFile(dir / "notes.txt", "just text");
    WatermarkStore store(dir / "Watermarks");
    auto result = store.importImage(dir / "notes.txt");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), WatermarkStoreError::notAnImage(dir / "notes.txt"));
    EXPECT_EQ(result.error().description(), "notes.txt is not an image");
    EXPECT_FALSE(fs::exists(dir / "Watermarks"));
}

TEST(WatermarkStore, AnUnwritableFolderIsReportedWithTheCopysPath) {
    TempDir dir;
    const fs::path picked = writeLogo(dir / "logo.png");
    writeFile(dir / "Watermarks", "a file where the folder should be");
    WatermarkStore store(dir / "Watermarks");
    auto result = store.importImage(picked);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, WatermarkStoreError::Kind::cannotWrite);
    EXPECT_EQ(result.error().location.parent_path(), dir / "Watermarks");
    EXPECT_EQ(result.error().description(), "Could not save the watermark to " + result.error().location.string());
}

TEST(WatermarkStore, ListingTakesOnlyPngFilesNamedByAnId) {
    TempDir dir;
    const fs::path folder = dir / "Watermarks";
    WatermarkStore store(folder);
    EXPECT_TRUE(store.allImageIDs().empty());  // no folder yet

    const WatermarkImageID upper = WatermarkImageID::fresh();
    const WatermarkImageID shouting = WatermarkImageID::fresh();
    fs::create_directories(folder);
    fs::copy_file(writeLogo(dir / "a.png"), folder / (upper.rawValue.text() + ".png"));
    fs::copy_file(dir / "a.png", folder / (shouting.rawValue.text() + ".PNG"));
    writeFile(folder / "readme.txt", "ignored");
    writeFile(folder / "logo.png", "ignored");
    writeFile(folder / (WatermarkImageID::fresh().rawValue.text() + ".jpg"), "ignored");

    const auto ids = store.allImageIDs();
    EXPECT_EQ(std::set<WatermarkImageID>(ids.begin(), ids.end()), (std::set<WatermarkImageID>{upper, shouting}));
    // Every listed id can be found and loaded again, whatever the case of its extension.
    for (const auto& id : ids) EXPECT_TRUE(store.loadImage(id));
}

TEST(WatermarkStore, MissingAndDamagedCopiesAreNotFound) {
    TempDir dir;
    WatermarkStore store(dir / "Watermarks");
    const WatermarkImageID missing = WatermarkImageID::fresh();
    EXPECT_EQ(store.imageURL(missing), std::nullopt);
    EXPECT_EQ(store.loadImage(missing), std::unexpected(WatermarkStoreError::imageNotFound(missing)));
    EXPECT_EQ(WatermarkStoreError::imageNotFound(missing).description(), "That watermark image is no longer available");

    const WatermarkImageID damaged = WatermarkImageID::fresh();
    writeFile(store.copyLocation(damaged), "\x89PNG truncated");
    EXPECT_EQ(store.loadImage(damaged), std::unexpected(WatermarkStoreError::imageNotFound(damaged)));
}

TEST(WatermarkStore, DeletingRemovesTheCopyAndAGoneCopyIsNoError) {
    TempDir dir;
    WatermarkStore store(dir / "Watermarks");
    auto id = store.importImage(writeLogo(dir / "logo.png"));
    ASSERT_TRUE(id);
    EXPECT_TRUE(store.deleteImage(*id));
    EXPECT_TRUE(folderEntries(dir / "Watermarks").empty());
    EXPECT_TRUE(store.deleteImage(*id));
    EXPECT_FALSE(store.loadImage(*id));
}

TEST(InMemoryWatermarkStore, ImportsLoadsAndDeletesWithoutFiles) {
    TempDir dir;
    InMemoryWatermarkStore store;
    auto id = store.importImage(writeLogo(dir / "logo.png"));
    ASSERT_TRUE(id);
    EXPECT_EQ(store.imageURL(*id), std::nullopt);
    auto loaded = store.loadImage(*id);
    ASSERT_TRUE(loaded);
    expectSamePixels(*loaded, logo());
    EXPECT_EQ(store.allImageIDs(), std::vector<WatermarkImageID>{*id});
    EXPECT_TRUE(store.deleteImage(*id));
    EXPECT_EQ(store.loadImage(*id), std::unexpected(WatermarkStoreError::imageNotFound(*id)));

    writeFile(dir / "notes.txt", "text");
    EXPECT_EQ(store.importImage(dir / "notes.txt"), std::unexpected(WatermarkStoreError::notAnImage(dir / "notes.txt")));
}

}  // namespace
}  // namespace veltrop::storage
