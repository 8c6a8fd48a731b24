#include "kit/render/renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "kit/platform/canvas.h"
#include "kit/render/drawing.h"
#include "kit/render/stamp_layout.h"
#include "tests/kit/render/render_test_support.h"

namespace veltrop::render {
using image::Bitmap;
using image::Orientation;
using image::Size;
using image::Rect;
namespace {

using settings::StampBacking;
using settings::StampCorner;
using settings::StampMode;
using settings::StampTheme;
using probe::Bgra;
using probe::inkBox;
using probe::pixel;
using probe::solid;

constexpr Bgra grey{64, 64, 64, 255};

RenderRequest overlayRequest(int width, int height, std::string timestamp = "12:30") {
    RenderRequest request;
    request.image = solid(width, height, grey);
    request.timestamp = std::move(timestamp);
    request.style.backing = StampBacking::none;
    request.style.sizeFraction = 0.06;
    request.style.marginFraction = 0.05;
    return request;
}

RenderRequest stripRequest(int width, int height, std::string timestamp) {
    RenderRequest request = overlayRequest(width, height, std::move(timestamp));
    request.style.mode = StampMode::dataStrip;
    request.strip.showCamera = false;
    return request;
}

// Opaque, without backing, so that its pixels are exactly its ink.
settings::WatermarkConfig textWatermark(std::string text, settings::StampInk ink = settings::StampInk::white) {
    settings::WatermarkConfig watermark;
    watermark.source = settings::WatermarkSource::text(std::move(text));
    watermark.ink = ink;
    watermark.backing = StampBacking::none;
    watermark.opacity = 1;
    return watermark;
}

Bitmap rendered(const RenderRequest& request) {
    auto result = Renderer::render(request);
    EXPECT_TRUE(result.has_value()) << (result ? "" : result.error().description());
    return result ? *result : Bitmap{};
}

// The stamp's expected block in device pixels (y down), from the layout.
probe::InkBox expectedBlock(const RenderRequest& request, int width, int height) {
    const double h = settings::stampTextHeight(request.style, width, height);
    const Size text = platform::textSize(request.timestamp, detail::fontForCapHeight(h));
    const Rect r = stampLayout(request.style, width, height, text).placement.rect;
    return {static_cast<int>(std::lround(r.minX())), static_cast<int>(std::lround(height - r.maxY())),
            static_cast<int>(std::lround(r.maxX())), static_cast<int>(std::lround(height - r.minY()))};
}

void expectNear(const probe::InkBox& ink, const probe::InkBox& expected, int tolerance) {
    EXPECT_NEAR(ink.left, expected.left, tolerance);
    EXPECT_NEAR(ink.top, expected.top, tolerance);
    EXPECT_NEAR(ink.right, expected.right, tolerance);
    EXPECT_NEAR(ink.bottom, expected.bottom, tolerance);
}

// Without backing the block is the text's optical bounds; a box's outer edge
// takes its place. Either way it sits 10 px in from the edges.
TEST(Renderer, PlacesTheStampInEachCornerWithCapitalsOfTheRequestedHeight) {
    for (StampBacking backing : {StampBacking::none, StampBacking::box})
        for (StampCorner corner : settings::allCases<StampCorner>()) {
            SCOPED_TRACE(std::string(settings::rawValue(corner)) + " " + std::string(settings::rawValue(backing)));
            RenderRequest request = overlayRequest(300, 200, "HEH");
            request.style.corner = corner;
            request.style.backing = backing;
            const Bitmap out = rendered(request);
            ASSERT_EQ(out.width, 300);
            ASSERT_EQ(out.height, 200);
            const auto ink = inkBox(out, grey, backing == StampBacking::box ? 20 : 60);
            ASSERT_TRUE(ink);
            expectNear(*ink, expectedBlock(request, 300, 200), 1);
            EXPECT_NEAR(isLeft(corner) ? ink->left : 300 - ink->right, 10, 1);
            EXPECT_NEAR(isTop(corner) ? ink->top : 200 - ink->bottom, 10, 1);
            // Capitals of the requested height; black at 0.45 over the photo inside a box.
            if (backing == StampBacking::none) {
                EXPECT_NEAR(ink->height(), 0.06 * 200, 1);
            } else {
                EXPECT_NEAR(pixel(out, ink->left + 3, ink->bottom - 2 - static_cast<int>(0.1 * 12)).r, 64 * 0.55, 2);
            }
        }
}

TEST(Renderer, ShadowIsABlurredOffsetCopyOfTheInk) {
    RenderRequest request = overlayRequest(400, 300, "88");
    request.style.backing = StampBacking::shadow;
    request.style.corner = StampCorner::topLeft;
    const Bitmap out = rendered(request);
    const auto white = probe::colorBox(out, Bgra{255, 255, 255, 255}, 100);  // bright ink only
    const auto ink = inkBox(out, grey, 3);                                   // ink and shadow
    ASSERT_TRUE(white && ink);
    const double h = 0.06 * 300;
    // The shadow reaches below the ink (offset) and spreads past its sides (blur).
    EXPECT_GE(ink->bottom - white->bottom, static_cast<int>(0.06 * h));
    EXPECT_GT(white->left - ink->left, 0);
    // A blur leaves a ramp of shades, not one hard edge.
    std::vector<int> shades;
    for (int y = white->bottom; y < ink->bottom; ++y) shades.push_back(pixel(out, white->left + 3, y).r);
    std::sort(shades.begin(), shades.end());
    shades.erase(std::unique(shades.begin(), shades.end()), shades.end());
    EXPECT_GE(shades.size(), 3u);
    for (int shade : shades) EXPECT_LT(shade, 64);
}

// Every orientation's meaning is checked in Orientation; here that the photo is
// turned before anything is drawn, under a strip and beneath an overlay alike.
TEST(Renderer, TurnsThePhotoUprightBeforeStamping) {
    RenderRequest request = stripRequest(4, 3, "");
    request.strip.showTimestamp = false;
    request.timestampEnabled = true;
    const Bgra marked{0, 0, 255, 255};
    std::copy_n(&marked.b, 4, request.image.row(0));
    request.orientation = 6;
    const Bitmap strip = rendered(request);
    ASSERT_EQ(strip.width, 3);
    ASSERT_GE(strip.height, 4);
    EXPECT_EQ(pixel(strip, 2, 0), marked);  // turned clockwise: stored top-left is now top-right

    request = overlayRequest(40, 30, "88");
    request.orientation = 6;
    request.style.corner = StampCorner::bottomRight;
    const Bitmap out = rendered(request);
    ASSERT_EQ(out.width, 30);
    ASSERT_EQ(out.height, 40);
    const auto ink = inkBox(out, grey);
    ASSERT_TRUE(ink);
    EXPECT_GT(ink->left, 15);
    EXPECT_GT(ink->top, 30);
}

TEST(Renderer, SameLayoutAtEverySize) {
    // A preview and a full-size copy must show the stamp in the same place.
    RenderRequest small = overlayRequest(400, 300, "14 Aug 2026  06:17:49");
    RenderRequest large = overlayRequest(1200, 900, "14 Aug 2026  06:17:49");
    const auto smallInk = inkBox(rendered(small), grey);
    const auto largeInk = inkBox(rendered(large), grey);
    ASSERT_TRUE(smallInk && largeInk);
    expectNear(*largeInk, {3 * smallInk->left, 3 * smallInk->top, 3 * smallInk->right, 3 * smallInk->bottom}, 3);
}

TEST(Renderer, ShrinksALongStampToFitANarrowPhoto) {
    RenderRequest request = overlayRequest(200, 1000, "14 August 2026  06:17:49  North wall of the pump house");
    request.style.corner = StampCorner::bottomLeft;
    const Bitmap out = rendered(request);
    const auto ink = inkBox(out, grey, 40);
    ASSERT_TRUE(ink);
    // The block touches both inset lines (margin 10); capitals end up well below h = 12.
    EXPECT_NEAR(ink->left, 10, 1);
    EXPECT_NEAR(ink->right, 190, 1);
    EXPECT_LT(ink->height(), 0.7 * 12);
}

// Amber segments over the photo whatever the ink, the strip's own text
// colour in a strip; letters it cannot show are refused only where drawn.
TEST(Renderer, RetroTheme) {
    RenderRequest request = overlayRequest(300, 200, "88:88");
    request.style.theme = StampTheme::retro;
    request.style.ink = settings::StampInk::black;
    const auto amber = probe::colorBox(rendered(request), Bgra{33, 158, 255, 255}, 0);
    ASSERT_TRUE(amber);
    EXPECT_GT(amber->width(), 20);

    request.style.mode = StampMode::dataStrip;
    const Bitmap strip = rendered(request);
    ASSERT_TRUE(inkBox(strip, Bgra{18, 15, 15, 255}, 60, 200));
    EXPECT_FALSE(probe::boxWhere(strip, [](Bgra p) { return std::abs(p.r - p.b) > 4; }, 200));  // grey, never amber

    request.timestamp = "14 Aug 2026";
    request.style.mode = StampMode::overlay;
    auto result = Renderer::render(request);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), RenderError::unrenderableText("Aug"));
    request.style.mode = StampMode::dataStrip;
    request.strip.showTimestamp = false;
    EXPECT_TRUE(Renderer::render(request));
    request.style.mode = StampMode::overlay;
    request.timestampEnabled = false;
    EXPECT_TRUE(Renderer::render(request));
}

TEST(Renderer, UnusableRequestsFailBeforeDrawing) {
    RenderRequest request;  // not even a photo
    request.watermark = settings::WatermarkConfig{};
    request.watermark->source = settings::WatermarkSource::image(settings::WatermarkImageID::fresh());
    EXPECT_EQ(Renderer::render(request).error(), RenderError::watermarkImageMissing());

    request.watermark.reset();
    EXPECT_EQ(Renderer::render(request).error(), RenderError::contextCreationFailed());
    request.image = solid(4, 4, grey);
    request.image.stride = 8;  // shorter than a row
    EXPECT_EQ(Renderer::render(request).error(), RenderError::contextCreationFailed());
}

TEST(Renderer, NothingToDrawLeavesThePhotoAsItWas) {
    RenderRequest request = overlayRequest(200, 150, "");
    EXPECT_TRUE(probe::samePixels(rendered(request), request.image));
    // The caller's pixels are never drawn on.
    EXPECT_TRUE(probe::samePixels(request.image, solid(200, 150, grey)));

    // Timestamp off: no strip either, only the watermark.
    request.timestamp = "12:30";
    request.style.mode = StampMode::dataStrip;
    request.timestampEnabled = false;
    EXPECT_TRUE(probe::samePixels(rendered(request), request.image));
    request.watermark = textWatermark("Survey");
    const Bitmap marked = rendered(request);
    EXPECT_EQ(marked.height, 150);
    EXPECT_TRUE(inkBox(marked, grey));
}

TEST(Renderer, StripAddsABandBelowThePhoto) {
    // u = round(400 × 0.022 × 2.6) = 23; with a record line round(1.75 × 23) = 40.
    const std::pair<std::optional<std::string>, int> cases[] = {
        {std::nullopt, 423}, {" \n\t\r\n ", 423}, {"IMG-0042 \u00b7 North wall", 440}};
    for (const auto& [record, height] : cases) {
        RenderRequest request = overlayRequest(600, 400, "14 Aug 2026  06:17:49");
        request.style.sizeFraction = 0.022;
        request.style.mode = StampMode::dataStrip;
        request.recordText = record;
        const Bitmap out = rendered(request);
        EXPECT_EQ(out.width, 600);
        EXPECT_EQ(out.height, height);
        // Photo above, band colour at the very bottom.
        EXPECT_EQ(pixel(out, 0, 0), grey);
        EXPECT_EQ(pixel(out, 0, 399), grey);
        EXPECT_LE(probe::difference(pixel(out, 0, out.height - 1), Bgra{18, 15, 15, 255}), 1);
    }
}

TEST(Renderer, StripTimestampShrinksAndStaysCentred) {
    RenderRequest request = stripRequest(600, 400, "2026-08-14 06:17:49 2026-08-14 06:17:49");
    request.strip.background = settings::StripBackground::white;
    const Bitmap out = rendered(request);
    const StripMetrics m = stripMetrics(0.06, 600, 400, false);
    ASSERT_EQ(out.height, 400 + static_cast<int>(m.height));
    const Bgra band{247, 247, 247, 255};
    const auto ink = inkBox(out, band, 60, 400);
    ASSERT_TRUE(ink);
    // Right-aligned on the padding, at most 42 % of the available width.
    EXPECT_NEAR(ink->right, 600 - m.sidePadding, 1);
    EXPECT_NEAR(ink->width(), 0.42 * m.available, 2);
    // Centred on the line's cap height, below the photo.
    const double lineBottom = (m.lineUnit - m.capHeight) / 2 + (m.height - m.lineUnit);
    const double centre = out.height - (lineBottom + m.capHeight / 2);
    EXPECT_NEAR((ink->top + ink->bottom) / 2.0, centre, 1.5);
    EXPECT_LT(ink->height(), m.capHeight);
}

TEST(Renderer, LongStripLabelIsCutWithAnEllipsis) {
    RenderRequest request = stripRequest(300, 200, "12:30");
    request.strip.label = "North elevation of the old pump house, survey of the east wall and roof";
    const Bitmap out = rendered(request);
    const StripMetrics m = stripMetrics(0.06, 300, 200, false);
    const Bgra band{18, 15, 15, 255};
    // The label starts at the padding and ends within 30 % of the available width.
    const auto ink = inkBox(out, band, 60, 200);
    ASSERT_TRUE(ink);
    EXPECT_NEAR(ink->left, m.sidePadding, 1);
    int labelRight = 0;
    for (int x = ink->left; x < static_cast<int>(m.sidePadding + 0.5 * m.available); ++x)
        for (int y = 200; y < out.height; ++y)
            if (probe::difference(pixel(out, x, y), band) > 60) labelRight = x + 1;
    EXPECT_LE(labelRight, m.sidePadding + 0.3 * m.available + 1);
    EXPECT_GT(labelRight, m.sidePadding + 0.2 * m.available);
}

TEST(Renderer, StripDetailsAloneAreCentred) {
    RenderRequest request = overlayRequest(600, 400, "");
    request.style.mode = StampMode::dataStrip;
    request.strip.showTimestamp = false;
    request.exif.make = "Canon";
    request.exif.model = "Canon EOS R5";
    const Bitmap out = rendered(request);
    const auto ink = inkBox(out, Bgra{18, 15, 15, 255}, 60, 400);
    ASSERT_TRUE(ink);
    EXPECT_NEAR((ink->left + ink->right) / 2.0, 300, 1.5);
}

// Above the timestamp in its corner, and on the photo above a strip.
TEST(Renderer, WatermarkKeepsClearOfTheTimestampAndTheStrip) {
    RenderRequest request = overlayRequest(400, 300, "12:30");
    request.watermark = textWatermark("HEH", settings::StampInk::black);
    request.watermark->corner = StampCorner::bottomRight;
    Bitmap out = rendered(request);
    const auto stamp = probe::colorBox(out, Bgra{255, 255, 255, 255}, 100);
    auto mark = probe::colorBox(out, Bgra{0, 0, 0, 255}, 40);
    ASSERT_TRUE(stamp && mark);
    // 0.015 × 300 = 4.5 px clear of its block, right-aligned with it.
    EXPECT_NEAR(stamp->top - mark->bottom, 4.5, 1.5);
    EXPECT_NEAR(mark->right, stamp->right, 1);

    request = stripRequest(400, 300, "12:30");
    request.watermark = textWatermark("HEH", settings::StampInk::amber);
    out = rendered(request);
    mark = probe::colorBox(out, Bgra{33, 158, 255, 255}, 10);
    ASSERT_TRUE(mark);
    EXPECT_NEAR(mark->bottom, 300 - 15, 1);  // the photo's own margin
    EXPECT_NEAR(mark->left, 15, 1);
}

TEST(Renderer, ImageWatermarkKeepsItsAspectAndOpacity) {
    RenderRequest request = overlayRequest(400, 300, "");
    request.watermark = settings::WatermarkConfig{};
    request.watermark->source = settings::WatermarkSource::image(settings::WatermarkImageID::fresh());
    request.watermark->corner = StampCorner::topLeft;
    request.watermark->opacity = 0.05;  // drawn at 0.15
    request.watermark->backing = StampBacking::box;  // ignored for logos
    request.watermarkImage = solid(40, 10, Bgra{0, 0, 255, 255});
    const Bitmap out = rendered(request);
    const auto logo = inkBox(out, grey, 10);
    ASSERT_TRUE(logo);
    // 0.06 × 300 = 18 high, 72 wide, 15 px in from the corner.
    EXPECT_NEAR(logo->left, 15, 1);
    EXPECT_NEAR(logo->top, 15, 1);
    EXPECT_NEAR(logo->width(), 72, 1);
    EXPECT_NEAR(logo->height(), 18, 1);
    const Bgra middle = pixel(out, logo->left + 36, logo->top + 9);
    EXPECT_NEAR(middle.r, 64 * 0.85 + 255 * 0.15, 2);
    EXPECT_NEAR(middle.b, 64 * 0.85, 2);
}

TEST(Renderer, TinyPhotosHostileTextAndOddSettingsNeverFail) {
    for (auto [width, height] : {std::pair{1, 1}, std::pair{2, 50}, std::pair{50, 2}}) {
        for (StampMode mode : settings::allCases<StampMode>())
            for (StampTheme theme : settings::allCases<StampTheme>())
                for (StampBacking backing : settings::allCases<StampBacking>()) {
                    SCOPED_TRACE(::testing::Message() << width << "x" << height << " " << settings::rawValue(mode)
                                                      << " " << settings::rawValue(theme) << " "
                                                      << settings::rawValue(backing));
                    RenderRequest request = overlayRequest(width, height, "06:17:49");
                    request.style.mode = mode;
                    request.style.theme = theme;
                    request.style.backing = backing;
                    request.style.marginFraction = 1e9;
                    request.strip.label = "Site";
                    request.recordText = "IMG-1";
                    request.watermark = textWatermark("W");
                    request.watermark->backing = backing;
                    const Bitmap out = rendered(request);
                    EXPECT_EQ(out.width, width);
                    EXPECT_GE(out.height, height);
                }
    }
    for (StampMode mode : settings::allCases<StampMode>()) {
        SCOPED_TRACE(settings::rawValue(mode));
        RenderRequest request = overlayRequest(200, 100, std::string("12\xff\xfe:\n30\0", 10));
        request.style.mode = mode;
        request.style.sizeFraction = request.style.marginFraction = std::nan("");
        request.strip.label = std::string(5000, 'W') + "\xe2\x80";
        request.recordText = "line one\nline two";
        request.watermark = textWatermark("W\xff");
        request.watermark->sizeFraction = request.watermark->opacity = std::nan("");
        EXPECT_EQ(rendered(request).width, 200);
    }
}

TEST(Renderer, ConcurrentRendersGiveIdenticalPixels) {
    RenderRequest request = overlayRequest(320, 240, "14 Aug 2026  06:17:49");
    request.style.backing = StampBacking::shadow;
    request.watermark = settings::WatermarkConfig{};
    request.watermark->source = settings::WatermarkSource::text("North wall \u00b7 \u00e9t\u00e9");
    RenderRequest strip = request;
    strip.style.mode = StampMode::dataStrip;
    strip.strip.label = "Site 4";
    strip.recordText = "IMG-0042 \u00b7 North wall";
    const Bitmap overlayReference = rendered(request);
    const Bitmap stripReference = rendered(strip);

    constexpr int threads = 4, rounds = 3;
    std::vector<int> matches(threads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i) {
                auto overlay = Renderer::render(request);
                auto band = Renderer::render(strip);
                if (overlay && probe::samePixels(*overlay, overlayReference)) ++matches[t];
                if (band && probe::samePixels(*band, stripReference)) ++matches[t];
            }
        });
    for (auto& worker : workers) worker.join();
    for (int t = 0; t < threads; ++t) EXPECT_EQ(matches[t], 2 * rounds) << "thread " << t;
}

// Drawing through surfaces of the drawn area's size, split where the area is
// larger than one surface, gives the pixels of drawing straight onto the photo.
TEST(Renderer, LayersMatchDrawingStraightOnThePhoto) {
    constexpr int width = 9000, height = 90;
    const Bgra photo{40, 90, 160, 255};
    const platform::TextLine line("North wall \u00b7 14 Aug 2026", detail::fontForCapHeight(30));
    const auto draw = [&](platform::Canvas& canvas) {
        canvas.fillRoundedRect(Rect{3900, 10, 400, 60}, 12, {0, 0, 0, 0.45});
        canvas.save();
        canvas.translate(4000, 25);
        canvas.setGlobalAlpha(0.65);
        canvas.beginShadow(platform::Shadow{shadowOffset(30), shadowBlur(30), {0, 0, 0, shadowAlpha}},
                           Rect{-3, -3, line.size().width + 6, line.size().height + 6});
        canvas.drawText(line, {1, 0.62, 0.13, 1}, Point{0, 0});
        canvas.endShadow();
        canvas.restore();
        canvas.fillRect(Rect{8990, 0, 20, 90}, {1, 1, 1, 0.5});  // runs off the right edge
    };

    auto direct = platform::Canvas::over(solid(width, height, photo));
    ASSERT_TRUE(direct);
    draw(*direct);
    const auto expected = direct->finish();
    ASSERT_TRUE(expected);

    Bitmap layered = solid(width, height, photo);
    // The text crosses x = 4,096, where one surface ends and the next begins.
    ASSERT_TRUE(detail::drawLayer(layered, Rect{0, 0, width, height}, draw));
    int worst = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            worst = std::max(worst, probe::difference(pixel(layered, x, y), pixel(*expected, x, y)));
    EXPECT_LE(worst, 1);
    for (int x : {4090, 4100}) EXPECT_GT(probe::difference(pixel(layered, x, height - 40), photo), 20) << x;
}

}  // namespace
}  // namespace veltrop::render
