#include "kit/platform/png_codec.h"

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "kit/platform/input_file.h"

namespace veltrop::platform {

namespace {

struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

// The file as a stream that libpng reads as far as it needs; nothing
// unless it is a regular file.
Stream openStream(const std::filesystem::path& file) {
    auto opened = InputFile::open(file);
    if (!opened) return nullptr;
    return Stream(opened->releaseAsStream());
}

[[noreturn]] void onError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void onWarning(png_structp, png_const_charp) {}

// Whether every chunk fits in the file. libpng allocates what a text chunk
// claims before reading it, so a few damaged bytes could ask for gigabytes;
// such a file is refused before libpng sees it. Reads only the chunk
// headers, seeking past their data, and leaves the stream at its start.
bool chunksFit(std::FILE* stream) {
    if (std::fseek(stream, 0, SEEK_END) != 0) return false;
    const long size = std::ftell(stream);
    if (size < 0) return false;
    bool fits = true;
    for (long at = 8; at + 8 <= size;) {
        unsigned char header[8];
        if (std::fseek(stream, at, SEEK_SET) != 0 || std::fread(header, 1, sizeof header, stream) != sizeof header) {
            fits = false;
            break;
        }
        const std::uint32_t length = std::uint32_t{header[0]} << 24 | std::uint32_t{header[1]} << 16 |
                                     std::uint32_t{header[2]} << 8 | header[3];
        // Its data and the 4-byte check after the 8-byte header.
        if (std::int64_t{length} + 12 > std::int64_t{size} - at) {
            fits = false;
            break;
        }
        if (std::memcmp(header + 4, "IEND", 4) == 0) break;
        at += 12 + static_cast<long>(length);
    }
    return std::fseek(stream, 0, SEEK_SET) == 0 && fits;
}

// Header fields and metadata chunks up to the first image data. libpng
// reports errors by jumping back here; only C objects live in this frame
// between setjmp and the jump.
bool readInfo(std::FILE* stream, ImageHeader& header) {
    if (!chunksFit(stream)) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, stream);
    png_read_info(png, info);
    header.width = static_cast<int>(png_get_image_width(png, info));
    header.height = static_cast<int>(png_get_image_height(png, info));

    png_uint_32 exifLength = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(png, info, &exifLength, &exif) != 0 && exif != nullptr)
        header.metadata.exif.assign(exif, exif + exifLength);

    png_charp profileName = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(png, info, &profileName, &compression, &profile, &profileLength) != 0 && profile != nullptr)
        header.metadata.icc.assign(profile, profile + profileLength);

    png_textp texts = nullptr;
    int textCount = 0;
    png_get_text(png, info, &texts, &textCount);
    for (int i = 0; i < textCount; ++i) {
        if (std::strcmp(texts[i].key, "XML:com.adobe.xmp") == 0 && texts[i].text != nullptr) {
            const std::size_t length = texts[i].itxt_length > 0 ? texts[i].itxt_length : texts[i].text_length;
            header.metadata.xmp.assign(texts[i].text, length);
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

void premultiply(image::Bitmap& bitmap) {
    for (int y = 0; y < bitmap.height; ++y) {
        std::uint8_t* p = bitmap.row(y);
        for (int x = 0; x < bitmap.width; ++x, p += 4) {
            const unsigned alpha = p[3];
            if (alpha == 255) continue;
            p[0] = static_cast<std::uint8_t>((p[0] * alpha + 127) / 255);
            p[1] = static_cast<std::uint8_t>((p[1] * alpha + 127) / 255);
            p[2] = static_cast<std::uint8_t>((p[2] * alpha + 127) / 255);
        }
    }
}

}  // namespace

std::expected<ImageHeader, DecodeFailure> readPngHeader(const std::filesystem::path& file) {
    Stream stream = openStream(file);
    if (!stream) return std::unexpected(DecodeFailure::unreadable);
    ImageHeader header;
    if (!readInfo(stream.get(), header)) return std::unexpected(DecodeFailure::unsupported);
    return header;
}

std::expected<DecodedImage, DecodeFailure> decodePng(const std::filesystem::path& file, const DecodeRequest& request) {
    Stream stream = openStream(file);
    if (!stream) return std::unexpected(DecodeFailure::unreadable);
    ImageHeader header;
    if (!readInfo(stream.get(), header)) return std::unexpected(DecodeFailure::unsupported);
    if (request.maximumPixels > 0 && static_cast<std::int64_t>(header.width) * header.height > request.maximumPixels)
        return std::unexpected(DecodeFailure::unsupported);
    // Decoded straight into the picture, a row at a time.
    if (request.admit && !request.admit(DecodeCost{header.width, header.height, 0}))
        return std::unexpected(DecodeFailure::unsupported);
    if (std::fseek(stream.get(), 0, SEEK_SET) != 0) return std::unexpected(DecodeFailure::unreadable);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_stdio(&image, stream.get()) == 0) return std::unexpected(DecodeFailure::unsupported);
    image.format = PNG_FORMAT_BGRA;
    auto bitmap = image::Bitmap::allocate(static_cast<int>(image.width), static_cast<int>(image.height));
    if (!bitmap) {
        png_image_free(&image);
        return std::unexpected(DecodeFailure::unsupported);
    }
    if (png_image_finish_read(&image, nullptr, bitmap->pixels.get(), static_cast<png_int_32>(bitmap->stride), nullptr) == 0) {
        png_image_free(&image);
        return std::unexpected(DecodeFailure::unsupported);
    }
    premultiply(*bitmap);
    return DecodedImage{*bitmap, std::move(header)};
}

}  // namespace veltrop::platform
