// The HEIF decoder takes libheif's picture in separate planes and gives its
// memory back as it copies; the pixels must be those of the plain way:
// interleaved samples from libheif, copied as they are.
#include <gtest/gtest.h>

#include <libheif/heif.h>

#include <cstring>
#include <memory>

#include "kit/export/image_loader.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace veltrop;

// Premultiplied BGRA from libheif's interleaved 8-bit decode.
std::optional<image::Bitmap> plainDecode(const fs::path& file) {
    std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(), heif_context_free);
    if (heif_context_read_from_file(context.get(), file.c_str(), nullptr).code != heif_error_Ok) return std::nullopt;
    heif_image_handle* rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok) return std::nullopt;
    std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(rawHandle, heif_image_handle_release);
    const bool alpha = heif_image_handle_has_alpha_channel(rawHandle) != 0;
    const bool premultiplied = heif_image_handle_is_premultiplied_alpha(rawHandle) != 0;
    std::unique_ptr<heif_decoding_options, decltype(&heif_decoding_options_free)> options(heif_decoding_options_alloc(),
                                                                                          heif_decoding_options_free);
    options->convert_hdr_to_8bit = 1;
    heif_image* rawImage = nullptr;
    if (heif_decode_image(rawHandle, &rawImage, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get())
            .code != heif_error_Ok)
        return std::nullopt;
    std::unique_ptr<heif_image, decltype(&heif_image_release)> decoded(rawImage, heif_image_release);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(rawImage, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(rawImage, heif_channel_interleaved);
    const int height = heif_image_get_height(rawImage, heif_channel_interleaved);
    auto bitmap = image::Bitmap::allocate(width, height);
    if (!bitmap || plane == nullptr) return std::nullopt;
    const int channels = alpha ? 4 : 3;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = plane + static_cast<std::ptrdiff_t>(stride) * y;
        std::uint8_t* out = bitmap->row(y);
        for (int x = 0; x < width; ++x, in += channels, out += 4) {
            const unsigned a = alpha ? in[3] : 255;
            const auto scaled = [&](unsigned v) {
                return static_cast<std::uint8_t>(a == 255 || premultiplied ? v : (v * a + 127) / 255);
            };
            out[0] = scaled(in[2]), out[1] = scaled(in[1]), out[2] = scaled(in[0]);
            out[3] = static_cast<std::uint8_t>(a);
        }
    }
    return *bitmap;
}

TEST(HeifDecoding, CorpusPhotosDecodeAsLibheifsInterleavedPicture) {
    VELTROP_REQUIRE_CORPUS(corpus);
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".heic" && extension != ".HEIC" && extension != ".heif" && extension != ".hif") continue;
        SCOPED_TRACE(entry.path().filename().string());
        const auto reference = plainDecode(entry.path());
        const auto loaded = exporting::ImageLoader::loadUpright(entry.path(), {});
        ASSERT_EQ(reference.has_value(), loaded.has_value());
        if (!reference) continue;
        ASSERT_EQ(loaded->image.width, reference->width);
        ASSERT_EQ(loaded->image.height, reference->height);
        for (int y = 0; y < reference->height; ++y)
            ASSERT_EQ(std::memcmp(loaded->image.row(y), reference->row(y), static_cast<std::size_t>(reference->width) * 4), 0)
                << "row " << y;
        ++compared;
    }
    EXPECT_GE(compared, 5);
}

}  // namespace
