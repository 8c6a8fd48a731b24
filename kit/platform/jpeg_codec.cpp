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

#include "kit/image/orientation.h"
#include "kit/platform/colour_profile.h"
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
    bool dataEnded = false;  // the file ended before its end-of-image marker
};

[[noreturn]] void onError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Image data is missing when the file ends (JWRN_JPEG_EOF) and the decoder
// then runs short of data: libjpeg would fill the remaining rows with grey.
// A file that lacks only its end-of-image marker ends without that. Other
// damage (a corrupt code, a misplaced restart marker) costs some blocks and
// the decoder resynchronises: such photos are kept.
void onMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    if (info->err->msg_code == JWRN_JPEG_EOF)
        errors->dataEnded = true;
    else if (info->err->msg_code == JWRN_HIT_MARKER && errors->dataEnded)
        onError(info);
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
    std::vector<std::uint8_t> photoshop;
    int previous = 0;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker != nullptr; marker = marker->next) {
        blocks.segments.push_back({marker->marker, {marker->data, marker->data + marker->data_length}});
        if (marker->marker == JPEG_APP0 + 1 && blocks.exif.empty() && hasPrefix(marker, exifSignature)) {
            blocks.exif.assign(marker->data + exifSignature.size(), marker->data + marker->data_length);
        } else if (marker->marker == JPEG_APP0 + 1 && blocks.xmp.empty() && hasPrefix(marker, xmpSignature)) {
            blocks.xmp.assign(reinterpret_cast<const char*>(marker->data) + xmpSignature.size(),
                              marker->data_length - xmpSignature.size());
            if (auto end = blocks.xmp.find('\0'); end != std::string::npos) blocks.xmp.resize(end);
        } else if (marker->marker == JPEG_APP0 + 13 && hasPrefix(marker, photoshopSignature)) {
            // Resources larger than a segment run on in the segments that follow.
            if (previous != JPEG_APP0 + 13 && !photoshop.empty()) {
                appendIptc(photoshop.data(), photoshop.size(), blocks.iptc);
                photoshop.clear();
            }
            photoshop.insert(photoshop.end(), marker->data + photoshopSignature.size(), marker->data + marker->data_length);
        }
        previous = marker->marker;
    }
    appendIptc(photoshop.data(), photoshop.size(), blocks.iptc);
    JOCTET* icc = nullptr;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&info, &icc, &iccLength) && icc != nullptr) {
        blocks.icc.assign(icc, icc + iccLength);
    }
    std::free(icc);
    return blocks;
}

// Every application segment and comment, for the copy to carry.
void saveMetadataMarkers(jpeg_decompress_struct& info) {
    for (int marker = JPEG_APP0; marker <= JPEG_APP0 + 15; ++marker) jpeg_save_markers(&info, marker, 0xFFFF);
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
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

// Ink amounts (0 for none) as the colour library expects them.
void toInk(std::uint8_t* cmyk, int width, bool inverted) {
    if (!inverted) return;
    for (int i = 0; i < width * 4; ++i) cmyk[i] = static_cast<std::uint8_t>(255 - cmyk[i]);
}

// Feeds libjpeg from the file a chunk at a time, so that only what the
// decoder asks for is read, whatever follows the picture in the file. Reading
// on past the end is reported as libjpeg's own sources do (a warning and an
// end marker), so the damage rules above decide what a short file means.
class FileSource {
public:
    static constexpr std::array<JOCTET, 2> endMarker{0xFF, JPEG_EOI};

    explicit FileSource(const std::filesystem::path& file) : buffer_(limits::readChunkBytes) {
        auto opened = InputFile::open(file);
        if (!opened) return;
        size_ = opened->size();
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
};

// Rows of a turned picture decoded before they are put in place: enough
// for whole tiles of the transposition, small enough to stay in the cache.
constexpr int turnBandRows = 32;

// Rows an encoder following a decoder asks for at a time.
constexpr JDIMENSION waitRows = 64;

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

// A progressive file that ended early may have lost whole scans without
// any scan running short; then some coefficients never got their final bits.
bool hasEveryScan(const jpeg_decompress_struct& info) {
    if (!info.progressive_mode || info.coef_bits == nullptr) return true;
    for (int component = 0; component < info.num_components; ++component)
        for (int k = 0; k < DCTSIZE2; ++k)
            if (info.coef_bits[component][k] != 0) return false;
    return true;
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
    std::vector<std::uint8_t> sampleRow;
    std::optional<ProfileConversion> conversion;
    image::Bitmap band;
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

    // CMYK, and grey described by a grey profile, go through their profile
    // into sRGB; the copy then carries an sRGB profile instead.
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    if (cmyk) {
        info.out_color_space = JCS_CMYK;
        conversion = ProfileConversion::make(result.header.metadata.icc, SampleLayout::cmyk);
    } else if (grey || info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB) {
        if (grey) conversion = ProfileConversion::make(result.header.metadata.icc, SampleLayout::grey);
        info.out_color_space = conversion ? JCS_GRAYSCALE : JCS_EXT_BGRA;
    } else {
        onError(reinterpret_cast<j_common_ptr>(&info));
    }
    if (conversion)
        result.header.metadata.pixelProfile = PixelProfile::srgb;
    else if (cmyk)
        result.header.metadata.pixelProfile = PixelProfile::none;

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
    if (request.orientation) {
        const image::Orientation wanted = request.orientation(result.header);
        result.turned = wanted >= 1 && wanted <= 8 ? wanted : 1;
    }
    jpeg_start_decompress(&info);

    const int width = static_cast<int>(info.output_width);
    const int height = static_cast<int>(info.output_height);
    const bool swap = image::swapsDimensions(result.turned);
    result.bitmap = image::Bitmap::allocate(swap ? height : width, swap ? width : height).value_or(image::Bitmap{});
    if (result.bitmap.empty()) onError(reinterpret_cast<j_common_ptr>(&info));
    // A turned picture is decoded a band of rows at a time into a small
    // bitmap and each band put in its place, so that only one full-size
    // bitmap is ever held.
    if (result.turned != 1) {
        band = image::Bitmap::allocate(width, std::min(height, turnBandRows)).value_or(image::Bitmap{});
        if (band.empty()) onError(reinterpret_cast<j_common_ptr>(&info));
    }

    if (errors.dataEnded && !hasEveryScan(info)) onError(reinterpret_cast<j_common_ptr>(&info));

    // Upright rows from the top that are final: as they come when the rows
    // keep their order, all at the end when the turn moves them.
    const bool rowsInOrder = result.turned == 1 || result.turned == 2;
    const auto finished = [&](int count) {
        if (request.rowsDone && (rowsInOrder || count == height)) request.rowsDone(result, count);
    };
    const bool converted = cmyk || conversion;
    if (converted)
        sampleRow.resize(static_cast<std::size_t>(info.output_width) * static_cast<std::size_t>(info.output_components));
    // Decoded rows go straight into the picture, or into the band when turned.
    image::Bitmap& into = result.turned == 1 ? result.bitmap : band;
    rows.resize(static_cast<std::size_t>(into.height));
    for (int y = 0; y < into.height; ++y) rows[static_cast<std::size_t>(y)] = into.row(y);
    int placed = 0;  // rows already put in place
    while (info.output_scanline < info.output_height) {
        const int first = static_cast<int>(info.output_scanline);
        const int limit = std::min(height, placed + into.height);
        JSAMPROW* next = rows.data() + (first - placed);
        if (converted) {
            JSAMPROW row = sampleRow.data();
            jpeg_read_scanlines(&info, &row, 1);
            if (cmyk && !conversion) {
                cmykToBgra(sampleRow.data(), *next, width, info.saw_Adobe_marker);
            } else {
                if (cmyk) toInk(sampleRow.data(), width, info.saw_Adobe_marker);
                conversion->convert(sampleRow.data(), *next, width);
            }
        } else {
            jpeg_read_scanlines(&info, next, static_cast<JDIMENSION>(limit - first));
        }
        const int done = static_cast<int>(info.output_scanline);
        if (result.turned == 1) {
            finished(done);
        } else if (done == limit) {
            image::placeStoredRows(image::rowsOf(band, 0, done - placed), placed, height, result.turned, result.bitmap);
            placed = done;
            finished(done);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return result;
}

namespace {

// A source's own JFIF segment comes with the others; without one, an EXIF
// file starts with its APP1 segment and anything else gets libjpeg's.
bool hasOwnHeader(std::span<const MetadataSegment> segments) {
    const auto startsWith = [](const MetadataSegment& segment, std::string_view prefix) {
        return segment.payload.size() >= prefix.size() &&
               std::memcmp(segment.payload.data(), prefix.data(), prefix.size()) == 0;
    };
    return std::any_of(segments.begin(), segments.end(), [&](const MetadataSegment& s) {
        return (s.marker == JPEG_APP0 && startsWith(s, {"JFIF\0", 5})) ||
               (s.marker == JPEG_APP0 + 1 && startsWith(s, exifSignature.substr(0, 5)));
    });
}

}  // namespace

bool encodeJpeg(const image::Bitmap& image, int quality, std::span<const MetadataSegment> segments, std::FILE* out) {
    return encodeJpeg(image, quality, segments, out, {});
}

bool encodeJpeg(const image::Bitmap& image, int quality, std::span<const MetadataSegment> segments, std::FILE* out,
                const std::function<bool(int rows)>& waitForRows) {
    if (image.empty() || out == nullptr) return false;
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
    info.write_JFIF_header = hasOwnHeader(segments) ? FALSE : TRUE;
    jpeg_start_compress(&info, TRUE);
    for (const MetadataSegment& segment : segments) {
        if (segment.payload.size() > maximumMarkerPayload) continue;
        jpeg_write_marker(&info, segment.marker, segment.payload.data(), static_cast<unsigned>(segment.payload.size()));
    }
    while (info.next_scanline < info.image_height) {
        JDIMENSION until = info.image_height;
        if (waitForRows) {
            // A few rows at a time, so that encoding follows close behind.
            until = std::min(until, info.next_scanline + waitRows);
            if (!waitForRows(static_cast<int>(until))) {
                jpeg_destroy_compress(&info);
                return false;
            }
        }
        jpeg_write_scanlines(&info, rows.data() + info.next_scanline, until - info.next_scanline);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fflush(out) == 0 && std::ferror(out) == 0;
}

}  // namespace veltrop::platform
