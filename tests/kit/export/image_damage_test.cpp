// Damaged photos: kept when every row has data, refused when data is missing.

#include <gtest/gtest.h>

#include "kit/export/image_fixtures.h"
#include "kit/export/image_loader.h"
#include "kit/export/jpeg_samples.h"
#include "support/test_support.h"

namespace veltrop::exporting {
namespace {

using namespace veltrop::testing;

// Where the n-th scan starts.
std::size_t scanStart(const Bytes& jpeg, int n) {
    for (std::size_t at = 2; at + 1 < jpeg.size(); ++at)
        if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA && n-- == 0) return at;
    return jpeg.size();
}

Bytes prefix(const Bytes& bytes, std::size_t size) { return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)); }

TEST(ImageDamage, RefusesOnlyPhotosWhoseDataEndsEarly) {
    const Bytes baseline = encodeSamples({256, 256, SampleSpace::rgb, {}, false, 1});
    const Bytes progressive = encodeSamples({256, 256, SampleSpace::rgb, {}, true, 0});
    const std::size_t lastScan = [&] {
        std::size_t at = 0;
        for (int n = 0; scanStart(progressive, n) < progressive.size(); ++n) at = scanStart(progressive, n);
        return at;
    }();
    Bytes damaged = baseline;
    const std::size_t middle = scanStart(baseline, 0) + (baseline.size() - scanStart(baseline, 0)) / 2;
    for (std::size_t i = 0; i < 24; ++i) damaged[middle + i] = static_cast<std::uint8_t>(0x5A ^ i);

    struct Case {
        const char* name;
        Bytes bytes;
        bool accepted;
    };
    const Case cases[] = {
        {"complete", baseline, true},
        {"no end marker", prefix(baseline, baseline.size() - 2), true},
        {"corrupt codes, restart markers resynchronise", damaged, true},
        {"cut inside the scan", prefix(baseline, baseline.size() * 6 / 10), false},
        {"progressive without end marker", prefix(progressive, progressive.size() - 2), true},
        {"progressive cut before its last scan", prefix(progressive, lastScan), false},
        {"progressive cut inside a scan", prefix(progressive, scanStart(progressive, 1) + 40), false},
    };
    TempDir folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = folder / (std::string(c.name) + ".jpg");
        writeBytes(file, c.bytes);
        auto loaded = ImageLoader::load(file);
        ASSERT_EQ(loaded.has_value(), c.accepted) << (loaded ? "" : loaded.error().description());
        if (c.accepted) {
            EXPECT_EQ(loaded->pixelSize(), (PixelSize{256, 256}));
        } else {
            EXPECT_EQ(loaded.error().description(), file.filename().string() + " is not a supported image");
            EXPECT_FALSE(ImageLoader::loadThumbnail(file, 64, ThumbnailOrientation::asStored));
        }
    }

    // The reference decoder agrees that the damaged file has every row.
    if (!hasTool("djpeg")) GTEST_SKIP() << "djpeg is not installed";
    const auto file = folder / "damaged.jpg";
    writeBytes(file, damaged);
    const auto messages = commandOutput("djpeg " + shellQuoted(file) + " 2>&1 >/dev/null");
    ASSERT_TRUE(messages);
    EXPECT_TRUE(messages->contains("Corrupt JPEG data")) << *messages;
    EXPECT_FALSE(messages->contains("Premature end of JPEG file")) << *messages;
}

}  // namespace
}  // namespace veltrop::exporting
