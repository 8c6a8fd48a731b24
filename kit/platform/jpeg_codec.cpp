#include "kit/platform/jpeg_codec.h"

#include <algorithm>
#include <array>
#include <optional>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace veltrop::platform {

namespace {

// libjpeg reports fatal errors through error_exit, which must not return:
// it jumps back to the setjmp of the function that started the work. Those
// functions keep every C++ object declared before their setjmp, so the jump
// skips no destructor.
struct ErrorManager {
    jpeg_error_mgr base{};
    std::jmp_buf jump{};
};

[[noreturn]] void onError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Warnings that mean the entropy-coded data is damaged: libjpeg would go on
// and fill the rest of the picture with grey.
bool isDamageWarning(int code) {
    switch (code) {
        case JWRN_HIT_MARKER:
        case JWRN_JPEG_EOF:
        case JWRN_MUST_RESYNC:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
            return true;
        default:
            return false;
    }
}

void onMessage(j_common_ptr info, int level) {
    if (level < 0 && isDamageWarning(info->err->msg_code)) onError(info);
}

void silence(j_common_ptr) {}

// A progressive file may hold any number of scans, each costing a pass over
// the whole picture; real encoders write about ten. Many more is an attack
// that would keep a worker busy for minutes.
constexpr int maximumScans = 500;

void limitScans(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > maximumScans) onError(info);
}

void installErrorManager(ErrorManager& errors, j_common_ptr info) {
    info->err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    errors.base.output_message = silence;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

constexpr std::string_view exifSignature{"Exif\0\0", 6};
constexpr std::string_view xmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view photoshopSignature{"Photoshop 3.0\0", 14};
constexpr std::size_t maximumMarkerPayload = 65533;

bool hasPrefix(const jpeg_saved_marker_ptr marker, std::string_view prefix) {
    return marker->data_length >= prefix.size() && std::memcmp(marker->data, prefix.data(), prefix.size()) == 0;
}

std::uint32_t bigEndian(const std::uint8_t* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

// The IPTC records inside a Photoshop image-resource block (resource 0x0404).
void appendIptc(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& iptc) {
    std::size_t at = 0;
    while (at + 12 <= size && std::memcmp(data + at, "8BIM", 4) == 0) {
        const std::uint32_t id = bigEndian(data + at + 4, 2);
        std::size_t nameLength = data[at + 6];
        std::size_t cursor = at + 7 + nameLength;
        if ((nameLength + 1) % 2 != 0) ++cursor;  // name padded to an even length
        if (cursor + 4 > size) return;
        const std::size_t length = bigEndian(data + cursor, 4);
        cursor += 4;
        if (length > size - cursor) return;
        if (id == 0x0404) iptc.insert(iptc.end(), data + cursor, data + cursor + length);
        at = cursor + length + (length % 2);
    }
}

MetadataBlocks collectMetadata(jpeg_decompress_struct& info) {
    MetadataBlocks blocks;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && blocks.exif.empty() && hasPrefix(marker, exifSignature)) {
            blocks.exif.assign(marker->data + exifSignature.size(), marker->data + marker->data_length);
        } else if (marker->marker == JPEG_APP0 + 1 && blocks.xmp.empty() && hasPrefix(marker, xmpSignature)) {
            blocks.xmp.assign(reinterpret_cast<const char*>(marker->data) + xmpSignature.size(),
                              marker->data_length - xmpSignature.size());
            if (auto end = blocks.xmp.find('\0'); end != std::string::npos) blocks.xmp.resize(end);
        } else if (marker->marker == JPEG_APP0 + 13 && hasPrefix(marker, photoshopSignature)) {
            appendIptc(marker->data + photoshopSignature.size(), marker->data_length - photoshopSignature.size(),
                       blocks.iptc);
        }
    }
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&info, &icc, &iccLength) && icc != nullptr) {
        blocks.icc.assign(icc, icc + iccLength);
    }
    std::free(icc);
    return blocks;
}

void saveMetadataMarkers(jpeg_decompress_struct& info) {
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);
    jpeg_save_markers(&info, JPEG_APP0 + 13, 0xFFFF);
}

// CMYK as libjpeg delivers it. Adobe's files store the inks inverted.
void cmykToBgra(const std::uint8_t* cmyk, std::uint8_t* bgra, int width, bool inverted) {
    for (int x = 0; x < width; ++x, cmyk += 4, bgra += 4) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        bgra[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
        bgra[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        bgra[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
        bgra[3] = 255;
    }
}

// The file's bytes, ending with an EOI marker. Some writers leave it off
// after complete image data; libjpeg would call that a premature end.
// Data that really stops early still ends in the middle of a segment,
// which is reported as damage.
std::optional<std::vector<std::uint8_t>> readCompressed(const std::filesystem::path& file) {
    FileHandle input(std::fopen(file.c_str(), "rb"));
    if (!input) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    std::array<std::uint8_t, 1 << 16> buffer;
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), input.get())) > 0)
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(read));
    if (std::ferror(input.get())) return std::nullopt;
    const std::size_t n = bytes.size();
    if (n < 2 || bytes[n - 2] != 0xFF || bytes[n - 1] != JPEG_EOI) bytes.insert(bytes.end(), {0xFF, JPEG_EOI});
    return bytes;
}

}  // namespace

std::expected<ImageHeader, DecodeFailure> readJpegHeader(const std::filesystem::path& file) {
    FileHandle input(std::fopen(file.c_str(), "rb"));
    if (!input) return std::unexpected(DecodeFailure::unreadable);
    ImageHeader header;
    jpeg_decompress_struct info{};
    ErrorManager errors;
    installErrorManager(errors, reinterpret_cast<j_common_ptr>(&info));
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return std::unexpected(DecodeFailure::unsupported);
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, input.get());
    saveMetadataMarkers(info);
    jpeg_read_header(&info, TRUE);
    header.width = static_cast<int>(info.image_width);
    header.height = static_cast<int>(info.image_height);
    header.metadata = collectMetadata(info);
    jpeg_destroy_decompress(&info);
    return header;
}

std::expected<DecodedImage, DecodeFailure> decodeJpeg(const std::filesystem::path& file, const DecodeRequest& request) {
    auto compressed = readCompressed(file);
    if (!compressed) return std::unexpected(DecodeFailure::unreadable);
    DecodedImage result;
    std::vector<JSAMPROW> rows;
    std::vector<std::uint8_t> cmykRow;
    jpeg_decompress_struct info{};
    ErrorManager errors;
    installErrorManager(errors, reinterpret_cast<j_common_ptr>(&info));
    jpeg_progress_mgr progress{};
    progress.progress_monitor = limitScans;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return std::unexpected(DecodeFailure::unsupported);
    }
    jpeg_create_decompress(&info);
    info.progress = &progress;
    jpeg_mem_src(&info, compressed->data(), static_cast<unsigned long>(compressed->size()));
    saveMetadataMarkers(info);
    jpeg_read_header(&info, TRUE);
    result.header.width = static_cast<int>(info.image_width);
    result.header.height = static_cast<int>(info.image_height);
    result.header.metadata = collectMetadata(info);

    const std::int64_t storedPixels = static_cast<std::int64_t>(info.image_width) * info.image_height;
    if (request.maximumPixels > 0 && storedPixels > request.maximumPixels) onError(reinterpret_cast<j_common_ptr>(&info));
    // Progressive files buffer every coefficient of the whole image; bound
    // that too, so a hostile header cannot claim gigabytes.
    if (request.maximumPixels > 0) info.mem->max_memory_to_use = static_cast<long>(request.maximumPixels) * 8;

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    if (cmyk) {
        info.out_color_space = JCS_CMYK;
    } else if (info.jpeg_color_space == JCS_GRAYSCALE || info.jpeg_color_space == JCS_YCbCr ||
               info.jpeg_color_space == JCS_RGB) {
        info.out_color_space = JCS_EXT_BGRA;
    } else {
        onError(reinterpret_cast<j_common_ptr>(&info));
    }

    if (request.minimumLongSide > 0) {
        for (unsigned int eighths = 1; eighths <= 8; ++eighths) {
            info.scale_num = eighths;
            info.scale_denom = 8;
            jpeg_calc_output_dimensions(&info);
            if (std::max(info.output_width, info.output_height) >= static_cast<unsigned>(request.minimumLongSide)) break;
        }
    }
    jpeg_start_decompress(&info);

    result.bitmap = image::Bitmap::allocate(static_cast<int>(info.output_width), static_cast<int>(info.output_height))
                        .value_or(image::Bitmap{});
    if (result.bitmap.empty()) onError(reinterpret_cast<j_common_ptr>(&info));

    if (cmyk) {
        cmykRow.resize(static_cast<std::size_t>(info.output_width) * 4);
        JSAMPROW row = cmykRow.data();
        while (info.output_scanline < info.output_height) {
            const int y = static_cast<int>(info.output_scanline);
            jpeg_read_scanlines(&info, &row, 1);
            cmykToBgra(cmykRow.data(), result.bitmap.row(y), result.bitmap.width, info.saw_Adobe_marker);
        }
    } else {
        rows.resize(info.output_height);
        for (int y = 0; y < result.bitmap.height; ++y) rows[static_cast<std::size_t>(y)] = result.bitmap.row(y);
        while (info.output_scanline < info.output_height)
            jpeg_read_scanlines(&info, rows.data() + info.output_scanline, info.output_height - info.output_scanline);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return result;
}

namespace {

std::vector<JOCTET> markerPayload(std::string_view signature, const void* data, std::size_t size) {
    std::vector<JOCTET> payload(signature.begin(), signature.end());
    const auto* bytes = static_cast<const JOCTET*>(data);
    payload.insert(payload.end(), bytes, bytes + size);
    if (payload.size() > maximumMarkerPayload) return {};
    return payload;
}

std::vector<JOCTET> photoshopPayload(const std::vector<std::uint8_t>& iptc) {
    if (iptc.empty()) return {};
    std::vector<JOCTET> resource = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0};
    const auto size = static_cast<std::uint32_t>(iptc.size());
    for (int shift = 24; shift >= 0; shift -= 8) resource.push_back(static_cast<JOCTET>(size >> shift));
    resource.insert(resource.end(), iptc.begin(), iptc.end());
    if (resource.size() % 2 != 0) resource.push_back(0);
    return markerPayload(photoshopSignature, resource.data(), resource.size());
}

void writeMarker(jpeg_compress_struct& info, int marker, const std::vector<JOCTET>& payload) {
    if (!payload.empty()) jpeg_write_marker(&info, marker, payload.data(), static_cast<unsigned>(payload.size()));
}

}  // namespace

bool encodeJpeg(const image::Bitmap& image, int quality, const MetadataBlocks& metadata, std::FILE* out) {
    if (image.empty() || out == nullptr) return false;
    const std::vector<JOCTET> exif =
        metadata.exif.empty() ? std::vector<JOCTET>{} : markerPayload(exifSignature, metadata.exif.data(), metadata.exif.size());
    const std::vector<JOCTET> xmp =
        metadata.xmp.empty() ? std::vector<JOCTET>{} : markerPayload(xmpSignature, metadata.xmp.data(), metadata.xmp.size());
    const std::vector<JOCTET> iptc = photoshopPayload(metadata.iptc);
    std::vector<JSAMPROW> rows(static_cast<std::size_t>(image.height));
    for (int y = 0; y < image.height; ++y) rows[static_cast<std::size_t>(y)] = const_cast<JSAMPROW>(image.row(y));

    jpeg_compress_struct info{};
    ErrorManager errors;
    installErrorManager(errors, reinterpret_cast<j_common_ptr>(&info));
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 4;
    // Premultiplied pixels drop their alpha: what is left is the picture over black.
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, std::clamp(quality, 1, 100), TRUE);
    // An EXIF file starts with its APP1 segment.
    info.write_JFIF_header = exif.empty() ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    writeMarker(info, JPEG_APP0 + 1, exif);
    writeMarker(info, JPEG_APP0 + 1, xmp);
    if (!metadata.icc.empty())
        jpeg_write_icc_profile(&info, metadata.icc.data(), static_cast<unsigned>(metadata.icc.size()));
    writeMarker(info, JPEG_APP0 + 13, iptc);
    while (info.next_scanline < info.image_height)
        jpeg_write_scanlines(&info, rows.data() + info.next_scanline, info.image_height - info.next_scanline);
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fflush(out) == 0 && std::ferror(out) == 0;
}

}  // namespace veltrop::platform
