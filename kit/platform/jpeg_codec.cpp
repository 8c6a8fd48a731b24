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

#include <unistd.h>

#include <jpeglib.h>
#include <jerror.h>

#include "kit/platform/input_file.h"
#include "kit/platform/limits.h"

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

void limitScans(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > limits::maximumJpegScans) onError(info);
}

void installErrorManager(ErrorManager& errors, j_common_ptr info) {
    info->err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    errors.base.output_message = silence;
}

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

// Feeds libjpeg from the file a chunk at a time, so that only what the
// decoder asks for is read, whatever follows the picture in the file. The
// stream ends with an EOI marker: some writers leave it off after complete
// image data, which libjpeg would call a premature end, so it is added when
// the file does not end with one. Data that really stops early still ends in
// the middle of a segment, which is reported as damage, and reading on past
// that end is reported as libjpeg's own sources do.
class FileSource {
public:
    static constexpr std::array<JOCTET, 2> endMarker{0xFF, JPEG_EOI};

    explicit FileSource(const std::filesystem::path& file) : buffer_(limits::readChunkBytes) {
        auto opened = InputFile::open(file);
        if (!opened) return;
        size_ = opened->size();
        if (size_ >= 2) {
            std::array<JOCTET, 2> last{};
            const bool read = ::pread(opened->descriptor(), last.data(), last.size(),
                                      static_cast<off_t>(size_ - 2)) == static_cast<ssize_t>(last.size());
            appendEnd_ = !read || last != endMarker;
        }
        stream_ = opened->releaseAsStream();
    }
    ~FileSource() {
        if (stream_ != nullptr) std::fclose(stream_);
    }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool opened() const { return stream_ != nullptr; }

    void attach(jpeg_decompress_struct& info) {
        manager_.source = this;
        manager_.base.init_source = [](j_decompress_ptr) {};
        manager_.base.fill_input_buffer = [](j_decompress_ptr cinfo) -> boolean {
            return of(cinfo).fill(cinfo);
        };
        manager_.base.skip_input_data = [](j_decompress_ptr cinfo, long count) { of(cinfo).skip(count); };
        manager_.base.resync_to_restart = jpeg_resync_to_restart;
        manager_.base.term_source = [](j_decompress_ptr) {};
        manager_.base.next_input_byte = nullptr;
        manager_.base.bytes_in_buffer = 0;
        info.src = &manager_.base;
    }

private:
    struct Manager {
        jpeg_source_mgr base{};
        FileSource* source = nullptr;
    };

    static FileSource& of(j_decompress_ptr cinfo) { return *reinterpret_cast<Manager*>(cinfo->src)->source; }

    boolean fill(j_decompress_ptr cinfo) {
        std::size_t count = 0;
        if (position_ < size_) {
            const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_.size(), size_ - position_));
            count = std::fread(buffer_.data(), 1, wanted, stream_);
            if (count == 0) size_ = position_;  // the file became shorter
        }
        if (count == 0 && appendEnd_ && position_ < size_ + endMarker.size()) {
            const std::size_t from = static_cast<std::size_t>(position_ - size_);
            count = endMarker.size() - from;
            std::copy(endMarker.begin() + static_cast<std::ptrdiff_t>(from), endMarker.end(), buffer_.begin());
        }
        if (count == 0) {
            if (position_ == 0) ERREXIT(cinfo, JERR_INPUT_EMPTY);
            WARNMS(cinfo, JWRN_JPEG_EOF);
            std::copy(endMarker.begin(), endMarker.end(), buffer_.begin());
            manager_.base.next_input_byte = buffer_.data();
            manager_.base.bytes_in_buffer = endMarker.size();
            return TRUE;
        }
        position_ += count;
        manager_.base.next_input_byte = buffer_.data();
        manager_.base.bytes_in_buffer = count;
        return TRUE;
    }

    void skip(long count) {
        if (count <= 0) return;
        auto bytes = static_cast<std::uint64_t>(count);
        if (bytes <= manager_.base.bytes_in_buffer) {
            manager_.base.next_input_byte += bytes;
            manager_.base.bytes_in_buffer -= bytes;
            return;
        }
        // Skipped data is not read at all.
        bytes -= manager_.base.bytes_in_buffer;
        manager_.base.bytes_in_buffer = 0;
        position_ += bytes;
        if (position_ < size_) ::fseeko(stream_, static_cast<off_t>(position_), SEEK_SET);
    }

    Manager manager_;
    std::vector<JOCTET> buffer_;
    std::FILE* stream_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;  // of the next byte to be loaded
    bool appendEnd_ = true;
};

// The coefficient buffers of a picture that arrives in several scans
// (progressive, or one component at a time): every coefficient of the
// whole image is kept until the last scan. A single interleaved scan is
// decoded a few rows at a time.
std::uint64_t workingMemory(const jpeg_decompress_struct& info) {
    if (!info.progressive_mode && info.comps_in_scan >= info.num_components) return 0;
    std::uint64_t bytes = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        const std::uint64_t rows = (component.height_in_blocks + component.v_samp_factor - 1) /
                                   static_cast<std::uint64_t>(std::max(component.v_samp_factor, 1)) *
                                   static_cast<std::uint64_t>(std::max(component.v_samp_factor, 1));
        bytes += static_cast<std::uint64_t>(component.width_in_blocks) * rows * DCTSIZE2 * sizeof(JCOEF);
    }
    return bytes;
}

}  // namespace

std::expected<ImageHeader, DecodeFailure> readJpegHeader(const std::filesystem::path& file) {
    FileSource source(file);
    if (!source.opened()) return std::unexpected(DecodeFailure::unreadable);
    ImageHeader header;
    jpeg_decompress_struct info{};
    ErrorManager errors;
    installErrorManager(errors, reinterpret_cast<j_common_ptr>(&info));
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return std::unexpected(DecodeFailure::unsupported);
    }
    jpeg_create_decompress(&info);
    source.attach(info);
    saveMetadataMarkers(info);
    jpeg_read_header(&info, TRUE);
    header.width = static_cast<int>(info.image_width);
    header.height = static_cast<int>(info.image_height);
    header.metadata = collectMetadata(info);
    jpeg_destroy_decompress(&info);
    return header;
}

std::expected<DecodedImage, DecodeFailure> decodeJpeg(const std::filesystem::path& file, const DecodeRequest& request) {
    FileSource source(file);
    if (!source.opened()) return std::unexpected(DecodeFailure::unreadable);
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
    source.attach(info);
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
    jpeg_calc_output_dimensions(&info);
    const DecodeCost cost{static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                          workingMemory(info)};
    if (request.admit && !request.admit(cost)) onError(reinterpret_cast<j_common_ptr>(&info));
    jpeg_start_decompress(&info);

    result.bitmap = render::Bitmap::allocate(static_cast<int>(info.output_width), static_cast<int>(info.output_height))
                        .value_or(render::Bitmap{});
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

bool encodeJpeg(const render::Bitmap& image, int quality, const MetadataBlocks& metadata, std::FILE* out) {
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
