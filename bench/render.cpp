// Time to stamp a 24-megapixel photo in each layout, upright and turned.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "kit/render/renderer.h"

using namespace veltrop;

int main() {
    render::RenderRequest request;
    request.image = *image::Bitmap::allocate(6000, 4000);
    std::memset(request.image.pixels.get(), 0x80, request.image.stride * 4000);
    request.timestamp = "14 Aug 2026  06:17:49";
    request.watermark = settings::WatermarkConfig{};
    request.watermark->source = settings::WatermarkSource::text("Survey");
    request.recordText = "IMG-0042 \u00b7 North wall";
    request.exif.make = "Canon";
    request.exif.model = "Canon EOS R5";

    (void)render::Renderer::render(request);  // fonts load once per thread
    constexpr int rounds = 5;
    for (int orientation : {1, 6})
        for (auto mode : {settings::StampMode::overlay, settings::StampMode::dataStrip}) {
            request.orientation = orientation;
            request.style.mode = mode;
            const auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < rounds; ++i)
                if (!render::Renderer::render(request)) return 1;
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / rounds;
            std::printf("%-9s orientation %d: %.1f ms\n", settings::rawValue(mode).data(), orientation, ms);
        }
    return 0;
}
