#include "kit/platform/png_encoder.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <vector>

namespace veltrop::platform {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* output = static_cast<std::string*>(png_get_io_ptr(png));
    output->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

// Premultiplied BGRA to straight RGBA, rounding to the nearest value.
void straightenRow(const std::uint8_t* source, std::uint8_t* target, int width) {
    for (int x = 0; x < width; ++x, source += 4, target += 4) {
        const unsigned alpha = source[3];
        const auto unpremultiply = [alpha](unsigned value) -> std::uint8_t {
            if (alpha == 0) return 0;
            const unsigned straight = (value * 255 + alpha / 2) / alpha;
            return static_cast<std::uint8_t>(straight > 255 ? 255 : straight);
        };
        target[0] = unpremultiply(source[2]);
        target[1] = unpremultiply(source[1]);
        target[2] = unpremultiply(source[0]);
        target[3] = static_cast<std::uint8_t>(alpha);
    }
}

// Everything that setjmp may return to lives outside the function that calls it.
bool encodeInto(const image::Bitmap& image, std::string& output, std::vector<std::uint8_t>& row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &output, appendBytes, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        straightenRow(image.row(y), row.data(), image.width);
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

std::optional<std::string> encodePng(const image::Bitmap& image) {
    if (image.empty()) return std::nullopt;
    std::string output;
    std::vector<std::uint8_t> row(static_cast<std::size_t>(image.width) * 4);
    if (!encodeInto(image, output, row)) return std::nullopt;
    return output;
}

}  // namespace veltrop::platform
