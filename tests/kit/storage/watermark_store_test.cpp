#include "kit/storage/watermark_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "kit/platform/png_encoder.h"
#include "support/test_support.h"
#include "tests/kit/render/render_test_support.h"

namespace veltrop::storage {
namespace {

namespace fs = std::filesystem;
using settings::WatermarkImageID;
using namespace testing;

// A logo with a transparent background, a half-transparent band and an opaque square.
image::Bitmap logo() {
    const render::probe::Bgra square{90, 30, 200, 255}, band{128, 128, 128, 128};  // premultiplied
    image::Bitmap image = render::probe::solid(12, 8, {0, 0, 0, 0});
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const bool inSquare = x >= 4 && x < 8;
            if (inSquare || y < 3) std::copy_n(inSquare ? &square.b : &band.b, 4, image.row(y) + 4 * x);
        }
    return image;
}

fs::path writeLogo(const fs::path& file) {
    writeFile(file, *platform::encodePng(logo()));
    return file;
}

void expectSamePixels(const image::Bitmap& actual, const image::Bitmap& expected) {
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width * 4; ++x)
            ASSERT_LE(std::abs(actual.row(y)[x] - expected.row(y)[x]), 1) << "x " << x / 4 << " y " << y;
}

TEST(WatermarkStore, ImportKeepsAnUprightPngCopyWithItsAlpha) {
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

    // A sideways photo is kept upright: stored 16 x 8, left half red, right
    // half blue, with orientation 6; seen upright, red is on top.
    render::probe::writeHalvesJpeg(dir / "logo.jpg", 16, 8, {0, 0, 255, 255}, {255, 0, 0, 255}, 6);
    auto sideways = store.importImage(dir / "logo.jpg");
    ASSERT_TRUE(sideways);
    auto upright = store.loadImage(*sideways);
    ASSERT_TRUE(upright);
    ASSERT_EQ(upright->width, 8);
    ASSERT_EQ(upright->height, 16);
    EXPECT_GT(upright->row(2)[4 * 4 + 2], 200);   // top: red
    EXPECT_GT(upright->row(13)[4 * 4 + 0], 200);  // bottom: blue
}

TEST(WatermarkStore, ImportFailuresNameTheFileOrTheCopy) {
    TempDir dir;
    writeFile(dir / "notes.txt", "just text");
    auto notImage = WatermarkStore(dir / "Watermarks").importImage(dir / "notes.txt");
    ASSERT_FALSE(notImage);
    EXPECT_EQ(notImage.error().description(), "notes.txt is not an image");
    EXPECT_FALSE(fs::exists(dir / "Watermarks"));  // nothing is created

    writeFile(dir / "Watermarks", "a file where the folder should be");
    auto unwritable = WatermarkStore(dir / "Watermarks").importImage(writeLogo(dir / "logo.png"));
    ASSERT_FALSE(unwritable);
    EXPECT_EQ(unwritable.error().kind, WatermarkStoreError::Kind::cannotWrite);
    EXPECT_EQ(unwritable.error().location.parent_path(), dir / "Watermarks");
    EXPECT_EQ(unwritable.error().description(), "Could not save the watermark to " + unwritable.error().location.string());
}

TEST(WatermarkStore, ListingTakesOnlyPngFilesNamedByAnId) {
    TempDir dir;
    const fs::path folder = dir / "Watermarks";
    WatermarkStore store(folder);
    EXPECT_TRUE(store.allImageIDs().empty());  // no folder yet

    // The same file imported twice makes two copies.
    auto first = store.importImage(writeLogo(dir / "a.png"));
    auto second = store.importImage(dir / "a.png");
    ASSERT_TRUE(first && second);
    const WatermarkImageID shouting = WatermarkImageID::fresh();
    fs::copy_file(dir / "a.png", folder / (shouting.rawValue.text() + ".PNG"));
    writeFile(folder / "readme.txt", "ignored");
    writeFile(folder / "logo.png", "ignored");
    writeFile(folder / (WatermarkImageID::fresh().rawValue.text() + ".jpg"), "ignored");

    const auto ids = store.allImageIDs();
    EXPECT_EQ(std::set<WatermarkImageID>(ids.begin(), ids.end()), (std::set<WatermarkImageID>{*first, *second, shouting}));
    // Every listed id can be found and loaded again, whatever the case of its extension.
    for (const auto& id : ids) EXPECT_TRUE(store.loadImage(id));
}

TEST(WatermarkStore, MissingAndDamagedCopiesAreNotFoundAndCanBeDeleted) {
    TempDir dir;
    WatermarkStore store(dir / "Watermarks");
    const WatermarkImageID missing = WatermarkImageID::fresh();
    EXPECT_EQ(store.imageURL(missing), std::nullopt);
    EXPECT_EQ(store.loadImage(missing), std::unexpected(WatermarkStoreError::imageNotFound(missing)));

    const WatermarkImageID damaged = WatermarkImageID::fresh();
    writeFile(store.copyLocation(damaged), "\x89PNG truncated");
    EXPECT_EQ(store.loadImage(damaged), std::unexpected(WatermarkStoreError::imageNotFound(damaged)));

    // Deleting removes the copy; deleting a gone copy is no error.
    EXPECT_TRUE(store.deleteImage(damaged));
    EXPECT_TRUE(testing::entryNames(dir / "Watermarks").empty());
    EXPECT_TRUE(store.deleteImage(damaged));
}

}  // namespace
}  // namespace veltrop::storage
