#include "kit/platform/jpeg_lossless.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace veltrop::platform {

namespace {

// As in the decoder: libjpeg's fatal errors jump back to the setjmp of the
// function that started the work, which declares its C++ objects before it.
struct ErrorManager {
    jpeg_error_mgr base{};
    std::jmp_buf jump{};
    bool dataEnded = false;  // the file ended before its image data did
};

[[noreturn]] void onError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
void silence(j_common_ptr) {}

// libjpeg fills the blocks of a file that ends early with grey; such a
// photo is left to the normal path, which decides whether it can be used.
void onMessage(j_common_ptr info, int level) {
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) reinterpret_cast<ErrorManager*>(info->err)->dataEnded = true;
}

void installErrorManager(ErrorManager& errors, j_common_ptr info) {
    info->err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    errors.base.output_message = silence;
}

// Real encoders write about ten progressive scans; many more is an attack.
constexpr int maximumScans = 500;
void limitScans(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > maximumScans) onError(info);
}

struct MemoryBuffer {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    MemoryBuffer() = default;
    MemoryBuffer(const MemoryBuffer&) = delete;
    MemoryBuffer& operator=(const MemoryBuffer&) = delete;
    ~MemoryBuffer() { std::free(data); }
};

bool readFile(const std::filesystem::path& file, std::vector<std::uint8_t>& bytes) {
    std::FILE* input = std::fopen(file.c_str(), "rb");
    if (input == nullptr) return false;
    std::array<std::uint8_t, 1 << 16> buffer;
    std::size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), input)) > 0)
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(read));
    const bool failed = std::ferror(input) != 0;
    std::fclose(input);
    return !failed;
}

int ceilDiv(int value, int divisor) { return (value + divisor - 1) / divisor; }

// A source's own JFIF segment comes with the others; an EXIF file starts
// with its APP1 segment; anything else gets libjpeg's JFIF segment.
bool hasOwnHeader(std::span<const MetadataSegment> segments) {
    const auto startsWith = [](const MetadataSegment& segment, std::string_view prefix) {
        return segment.payload.size() >= prefix.size() &&
               std::memcmp(segment.payload.data(), prefix.data(), prefix.size()) == 0;
    };
    return std::any_of(segments.begin(), segments.end(), [&](const MetadataSegment& s) {
        return (s.marker == JPEG_APP0 && startsWith(s, {"JFIF\0", 5})) ||
               (s.marker == JPEG_APP0 + 1 && startsWith(s, {"Exif\0", 5}));
    });
}

constexpr std::size_t maximumMarkerPayload = 65533;

}  // namespace

struct LosslessJpeg::Impl {
    std::vector<std::uint8_t> compressed;
    jpeg_decompress_struct source{};
    ErrorManager errors;
    jpeg_progress_mgr progress{};
    bool created = false;

    // EXIF orientation as block moves: transpose first, then mirror.
    bool transpose = false, mirrorX = false, mirrorY = false;
    int width = 0, height = 0;  // upright, without added rows
    int addedRows = 0;
    int mcuWidth = 8, mcuHeight = 8;
    std::int64_t maximumPixels = 0;

    struct Component {
        int hSamp = 1, vSamp = 1;       // upright
        int blocksWide = 0, blocksHigh = 0;  // allocated, whole MCUs, added rows included
    };
    std::array<Component, 3> components{};
    jvirt_barray_ptr* sourceArrays = nullptr;
    std::array<jvirt_barray_ptr, 3> ownArrays{};  // upright or taller copies, when needed
    jvirt_barray_ptr* output = nullptr;
    std::array<JBLOCKARRAY, 3> rows{};  // every row of each output array, all held in memory

    Impl() = default;
    ~Impl() {
        if (created) jpeg_destroy_decompress(&source);
    }
    // libjpeg keeps pointers into it (the error manager), so it neither moves nor copies.
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    int outputHeight() const { return height + addedRows; }

    // Quantisation tables, sampling, colour space and size of the upright
    // output onto a compressor for an image of the given size.
    void configure(jpeg_compress_struct& info, int w, int h) {
        jpeg_copy_critical_parameters(&source, &info);
        info.image_width = static_cast<JDIMENSION>(w);
        info.image_height = static_cast<JDIMENSION>(h);
        for (int c = 0; c < 3; ++c) {
            info.comp_info[c].h_samp_factor = components[static_cast<std::size_t>(c)].hSamp;
            info.comp_info[c].v_samp_factor = components[static_cast<std::size_t>(c)].vSamp;
        }
        if (!transpose) return;
        for (JQUANT_TBL* table : info.quant_tbl_ptrs) {
            if (table == nullptr) continue;
            std::array<UINT16, DCTSIZE2> turned{};
            for (int v = 0; v < DCTSIZE; ++v)
                for (int u = 0; u < DCTSIZE; ++u) turned[static_cast<std::size_t>(v * DCTSIZE + u)] = table->quantval[u * DCTSIZE + v];
            std::copy(turned.begin(), turned.end(), table->quantval);
        }
    }

    // Blocks of component c covered by an MCU-aligned pixel rectangle.
    struct BlockRange {
        int left = 0, top = 0, wide = 0, high = 0;
    };
    BlockRange blocksOf(int c, const image::PixelRect& area) const {
        const Component& k = components[static_cast<std::size_t>(c)];
        return {area.left / mcuWidth * k.hSamp, area.top / mcuHeight * k.vSamp,
                ceilDiv(area.width, mcuWidth) * k.hSamp, ceilDiv(area.height, mcuHeight) * k.vSamp};
    }
};

LosslessJpeg::LosslessJpeg(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
LosslessJpeg::LosslessJpeg(LosslessJpeg&&) noexcept = default;
LosslessJpeg& LosslessJpeg::operator=(LosslessJpeg&&) noexcept = default;
LosslessJpeg::~LosslessJpeg() = default;

int LosslessJpeg::storedWidth() const { return static_cast<int>(impl_->source.image_width); }
int LosslessJpeg::storedHeight() const { return static_cast<int>(impl_->source.image_height); }
int LosslessJpeg::width() const { return impl_->width; }
int LosslessJpeg::height() const { return impl_->height; }
int LosslessJpeg::mcuWidth() const { return impl_->mcuWidth; }
int LosslessJpeg::mcuHeight() const { return impl_->mcuHeight; }
bool LosslessJpeg::progressive() const { return impl_->source.progressive_mode != 0; }

std::expected<LosslessJpeg, LosslessRefusal> LosslessJpeg::open(const std::filesystem::path& file,
                                                                image::Orientation orientation,
                                                                std::int64_t maximumPixels) {
    auto impl = std::make_unique<Impl>();
    if (!readFile(file, impl->compressed)) return std::unexpected(LosslessRefusal::unreadable);
    Impl& d = *impl;
    if (d.compressed.size() < 3 || d.compressed[0] != 0xFF || d.compressed[1] != 0xD8 || d.compressed[2] != 0xFF)
        return std::unexpected(LosslessRefusal::notJpeg);
    jpeg_decompress_struct& info = d.source;
    installErrorManager(d.errors, reinterpret_cast<j_common_ptr>(&info));
    d.progress.progress_monitor = limitScans;
    if (setjmp(d.errors.jump)) return std::unexpected(LosslessRefusal::unreadable);
    jpeg_create_decompress(&info);
    d.created = true;
    info.progress = &d.progress;
    jpeg_mem_src(&info, d.compressed.data(), static_cast<unsigned long>(d.compressed.size()));
    jpeg_read_header(&info, TRUE);

    if (info.jpeg_color_space != JCS_YCbCr || info.num_components != 3 || info.data_precision != 8)
        return std::unexpected(LosslessRefusal::colourSpace);
    const std::int64_t pixels = static_cast<std::int64_t>(info.image_width) * info.image_height;
    if (maximumPixels > 0 && pixels > maximumPixels) return std::unexpected(LosslessRefusal::unreadable);
    d.maximumPixels = maximumPixels;

    const int storedMcuWidth = info.max_h_samp_factor * DCTSIZE, storedMcuHeight = info.max_v_samp_factor * DCTSIZE;
    switch (orientation) {
        case 2: d.mirrorX = true; break;
        case 3: d.mirrorX = d.mirrorY = true; break;
        case 4: d.mirrorY = true; break;
        case 5: d.transpose = true; break;
        case 6: d.transpose = d.mirrorX = true; break;
        case 7: d.transpose = d.mirrorX = d.mirrorY = true; break;
        case 8: d.transpose = d.mirrorY = true; break;
        default: break;
    }
    const int w = static_cast<int>(info.image_width), h = static_cast<int>(info.image_height);
    if ((d.transpose || d.mirrorX || d.mirrorY) && (w % storedMcuWidth != 0 || h % storedMcuHeight != 0))
        return std::unexpected(LosslessRefusal::partialBlocks);
    d.width = d.transpose ? h : w;
    d.height = d.transpose ? w : h;
    d.mcuWidth = d.transpose ? storedMcuHeight : storedMcuWidth;
    d.mcuHeight = d.transpose ? storedMcuWidth : storedMcuHeight;
    for (int c = 0; c < 3; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        Impl::Component& k = d.components[static_cast<std::size_t>(c)];
        k.hSamp = d.transpose ? component.v_samp_factor : component.h_samp_factor;
        k.vSamp = d.transpose ? component.h_samp_factor : component.v_samp_factor;
    }
    return LosslessJpeg(std::move(impl));
}

std::expected<void, LosslessRefusal> LosslessJpeg::readCoefficients(int addedRows) {
    Impl& d = *impl_;
    if (addedRows < 0) addedRows = 0;
    if (addedRows > 0 && d.height % d.mcuHeight != 0) return std::unexpected(LosslessRefusal::partialStripRows);
    d.addedRows = addedRows;
    jpeg_decompress_struct& info = d.source;
    if (setjmp(d.errors.jump)) return std::unexpected(LosslessRefusal::unreadable);

    const bool ownCopy = d.transpose || d.mirrorX || d.mirrorY || addedRows > 0;
    for (int c = 0; c < 3; ++c) {
        Impl::Component& k = d.components[static_cast<std::size_t>(c)];
        k.blocksWide = ceilDiv(d.width, d.mcuWidth) * k.hSamp;
        k.blocksHigh = ceilDiv(d.outputHeight(), d.mcuHeight) * k.vSamp;
    }
    // Coefficients take 128 bytes a block; bound them as the decoder bounds pixels.
    if (d.maximumPixels > 0) info.mem->max_memory_to_use = static_cast<long>(d.maximumPixels) * 16;
    if (ownCopy) {
        for (int c = 0; c < 3; ++c) {
            const Impl::Component& k = d.components[static_cast<std::size_t>(c)];
            // Accessed whole at once: libjpeg holds arrays in memory or fails to make them.
            d.ownArrays[static_cast<std::size_t>(c)] = info.mem->request_virt_barray(
                reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, TRUE, static_cast<JDIMENSION>(k.blocksWide),
                static_cast<JDIMENSION>(k.blocksHigh), static_cast<JDIMENSION>(k.blocksHigh));
        }
    }
    d.sourceArrays = jpeg_read_coefficients(&info);
    if (d.sourceArrays == nullptr || d.errors.dataEnded) return std::unexpected(LosslessRefusal::unreadable);

    // Every stored row, for reading across rows as the turn needs.
    std::array<JBLOCKARRAY, 3> stored{};
    for (int c = 0; c < 3; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        stored[static_cast<std::size_t>(c)] = info.mem->access_virt_barray(
            reinterpret_cast<j_common_ptr>(&info), d.sourceArrays[c], 0,
            static_cast<JDIMENSION>(component.v_samp_factor), TRUE);
    }
    if (!ownCopy) {
        // The arrays libjpeg made: rounded up to whole sampling units only.
        for (int c = 0; c < 3; ++c) {
            const jpeg_component_info& component = info.comp_info[c];
            Impl::Component& k = d.components[static_cast<std::size_t>(c)];
            k.blocksWide = std::min(k.blocksWide, ceilDiv(static_cast<int>(component.width_in_blocks), component.h_samp_factor) * component.h_samp_factor);
            k.blocksHigh = std::min(k.blocksHigh, ceilDiv(static_cast<int>(component.height_in_blocks), component.v_samp_factor) * component.v_samp_factor);
        }
        d.output = d.sourceArrays;
        d.rows = stored;
        return {};
    }
    d.output = d.ownArrays.data();
    for (int c = 0; c < 3; ++c) {
        const Impl::Component& k = d.components[static_cast<std::size_t>(c)];
        JBLOCKARRAY out = info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&info),
                                                       d.ownArrays[static_cast<std::size_t>(c)], 0,
                                                       static_cast<JDIMENSION>(k.blocksHigh), TRUE);
        d.rows[static_cast<std::size_t>(c)] = out;
        const JBLOCKARRAY in = stored[static_cast<std::size_t>(c)];
        // The picture's blocks; whole MCUs when turned, so every block moves whole.
        const int wide = static_cast<int>(info.comp_info[c].width_in_blocks);
        const int high = static_cast<int>(info.comp_info[c].height_in_blocks);
        const int outWide = d.transpose ? high : wide, outHigh = d.transpose ? wide : high;
        for (int y = 0; y < outHigh; ++y) {
            for (int x = 0; x < outWide; ++x) {
                const int x1 = d.mirrorX ? outWide - 1 - x : x;
                const int y1 = d.mirrorY ? outHigh - 1 - y : y;
                const JCOEF* from = d.transpose ? in[x1][y1] : in[y1][x1];
                JCOEF* to = out[y][x];
                if (!d.transpose && !d.mirrorX && !d.mirrorY) {
                    std::memcpy(to, from, sizeof(JBLOCK));
                    continue;
                }
                // A mirror negates the odd frequencies along its axis.
                for (int v = 0; v < DCTSIZE; ++v) {
                    for (int u = 0; u < DCTSIZE; ++u) {
                        JCOEF value = d.transpose ? from[u * DCTSIZE + v] : from[v * DCTSIZE + u];
                        if ((d.mirrorX && (u & 1)) != (d.mirrorY && (v & 1))) value = static_cast<JCOEF>(-value);
                        to[v * DCTSIZE + u] = value;
                    }
                }
            }
        }
    }
    return {};
}

std::expected<image::Bitmap, LosslessRefusal> LosslessJpeg::decode(const image::PixelRect& area) const {
    Impl& d = *impl_;
    // One MCU more on each side where there is one, so that colour
    // smoothing at the area's edges sees the same neighbours as a full decode.
    const int left = std::max(0, area.left - d.mcuWidth), top = std::max(0, area.top - d.mcuHeight);
    const int right = std::min(d.width, area.right() + d.mcuWidth);
    const int bottom = std::min(d.height, area.bottom() + d.mcuHeight);
    if (area.width <= 0 || area.height <= 0 || left % d.mcuWidth != 0 || top % d.mcuHeight != 0 || right <= left ||
        bottom <= top || area.right() > d.width || area.bottom() > d.height)
        return std::unexpected(LosslessRefusal::unreadable);
    const image::PixelRect window{left, top, right - left, bottom - top};

    auto pixels = image::Bitmap::allocate(window.width, window.height);
    auto result = image::Bitmap::allocate(area.width, area.height);
    if (!pixels || !result) return std::unexpected(LosslessRefusal::unreadable);
    MemoryBuffer buffer;
    std::vector<JSAMPROW> rowPointers(static_cast<std::size_t>(window.height));
    for (int y = 0; y < window.height; ++y) rowPointers[static_cast<std::size_t>(y)] = pixels->row(y);
    std::array<jvirt_barray_ptr, 3> arrays{};

    // The window's blocks as a JPEG of their own, then decoded by libjpeg.
    jpeg_compress_struct mini{};
    jpeg_decompress_struct back{};
    ErrorManager errors;
    installErrorManager(errors, reinterpret_cast<j_common_ptr>(&mini));
    back.err = mini.err;
    bool miniMade = false, backMade = false;
    if (setjmp(errors.jump)) {
        if (miniMade) jpeg_destroy_compress(&mini);
        if (backMade) jpeg_destroy_decompress(&back);
        return std::unexpected(LosslessRefusal::unreadable);
    }
    jpeg_create_compress(&mini);
    miniMade = true;
    d.configure(mini, window.width, window.height);
    for (int c = 0; c < 3; ++c) {
        const Impl::BlockRange range = d.blocksOf(c, window);
        const int v = d.components[static_cast<std::size_t>(c)].vSamp;
        jvirt_barray_ptr array = mini.mem->request_virt_barray(reinterpret_cast<j_common_ptr>(&mini), JPOOL_IMAGE, TRUE,
                                                               static_cast<JDIMENSION>(range.wide),
                                                               static_cast<JDIMENSION>(range.high),
                                                               static_cast<JDIMENSION>(v));
        arrays[static_cast<std::size_t>(c)] = array;
    }
    mini.mem->realize_virt_arrays(reinterpret_cast<j_common_ptr>(&mini));
    for (int c = 0; c < 3; ++c) {
        const Impl::BlockRange range = d.blocksOf(c, window);
        const int v = d.components[static_cast<std::size_t>(c)].vSamp;
        const Impl::Component& k = d.components[static_cast<std::size_t>(c)];
        for (int y = 0; y < range.high; y += v) {
            JBLOCKARRAY target = mini.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&mini),
                                                              arrays[static_cast<std::size_t>(c)],
                                                              static_cast<JDIMENSION>(y), static_cast<JDIMENSION>(v), TRUE);
            for (int r = 0; r < v; ++r) {
                const int sourceRow = range.top + y + r;
                if (sourceRow >= k.blocksHigh) continue;
                const int count = std::min(range.wide, k.blocksWide - range.left);
                std::memcpy(target[r][0], d.rows[static_cast<std::size_t>(c)][sourceRow][range.left],
                            static_cast<std::size_t>(count) * sizeof(JBLOCK));
            }
        }
    }
    jpeg_mem_dest(&mini, &buffer.data, &buffer.size);
    jpeg_write_coefficients(&mini, arrays.data());
    jpeg_finish_compress(&mini);
    jpeg_destroy_compress(&mini);
    miniMade = false;

    jpeg_create_decompress(&back);
    backMade = true;
    jpeg_mem_src(&back, buffer.data, buffer.size);
    jpeg_read_header(&back, TRUE);
    back.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&back);
    while (back.output_scanline < back.output_height)
        jpeg_read_scanlines(&back, rowPointers.data() + back.output_scanline, back.output_height - back.output_scanline);
    jpeg_finish_decompress(&back);
    jpeg_destroy_decompress(&back);
    backMade = false;

    for (int y = 0; y < area.height; ++y)
        std::memcpy(result->row(y), pixels->row(area.top - top + y) + 4 * static_cast<std::size_t>(area.left - left),
                    static_cast<std::size_t>(area.width) * 4);
    return std::move(*result);
}

bool LosslessJpeg::replace(const image::PixelRect& area, const image::Bitmap& pixels) {
    Impl& d = *impl_;
    if (pixels.empty() || pixels.width != area.width || pixels.height != area.height || area.left % d.mcuWidth != 0 ||
        area.top % d.mcuHeight != 0 || area.left < 0 || area.top < 0 || area.right() > d.width ||
        area.bottom() > d.outputHeight())
        return false;
    MemoryBuffer buffer;
    std::vector<JSAMPROW> rowPointers(static_cast<std::size_t>(pixels.height));
    for (int y = 0; y < pixels.height; ++y)
        rowPointers[static_cast<std::size_t>(y)] = const_cast<JSAMPROW>(pixels.row(y));

    // Encoded with the photo's own tables, then read back as coefficients.
    jpeg_compress_struct encoder{};
    jpeg_decompress_struct back{};
    ErrorManager errors;
    installErrorManager(errors, reinterpret_cast<j_common_ptr>(&encoder));
    back.err = encoder.err;
    bool encoderMade = false, backMade = false;
    if (setjmp(errors.jump)) {
        if (encoderMade) jpeg_destroy_compress(&encoder);
        if (backMade) jpeg_destroy_decompress(&back);
        return false;
    }
    jpeg_create_compress(&encoder);
    encoderMade = true;
    d.configure(encoder, area.width, area.height);
    encoder.in_color_space = JCS_EXT_BGRX;
    encoder.input_components = 4;
    jpeg_mem_dest(&encoder, &buffer.data, &buffer.size);
    jpeg_start_compress(&encoder, TRUE);
    while (encoder.next_scanline < encoder.image_height)
        jpeg_write_scanlines(&encoder, rowPointers.data() + encoder.next_scanline,
                             encoder.image_height - encoder.next_scanline);
    jpeg_finish_compress(&encoder);
    jpeg_destroy_compress(&encoder);
    encoderMade = false;

    jpeg_create_decompress(&back);
    backMade = true;
    jpeg_mem_src(&back, buffer.data, buffer.size);
    jpeg_read_header(&back, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&back);
    for (int c = 0; c < 3; ++c) {
        const Impl::BlockRange range = d.blocksOf(c, area);
        const Impl::Component& k = d.components[static_cast<std::size_t>(c)];
        const int v = back.comp_info[c].v_samp_factor;
        const int count = std::min(range.wide, k.blocksWide - range.left);
        for (int y = 0; y < range.high; y += v) {
            JBLOCKARRAY source = back.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&back), arrays[c],
                                                              static_cast<JDIMENSION>(y), static_cast<JDIMENSION>(v), FALSE);
            for (int r = 0; r < v; ++r) {
                const int targetRow = range.top + y + r;
                if (targetRow >= k.blocksHigh) continue;
                std::memcpy(d.rows[static_cast<std::size_t>(c)][targetRow][range.left], source[r][0],
                            static_cast<std::size_t>(count) * sizeof(JBLOCK));
            }
        }
    }
    jpeg_finish_decompress(&back);
    jpeg_destroy_decompress(&back);
    backMade = false;
    return true;
}

bool LosslessJpeg::write(std::span<const MetadataSegment> segments, std::FILE* out) {
    Impl& d = *impl_;
    if (out == nullptr || d.output == nullptr) return false;
    jpeg_compress_struct info{};
    ErrorManager errors;
    installErrorManager(errors, reinterpret_cast<j_common_ptr>(&info));
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    d.configure(info, d.width, d.outputHeight());
    // A progressive photo stays progressive, which also keeps it as small.
    if (d.source.progressive_mode) jpeg_simple_progression(&info);
    info.write_JFIF_header = hasOwnHeader(segments) ? FALSE : TRUE;
    info.write_Adobe_marker = FALSE;
    jpeg_write_coefficients(&info, d.output);
    for (const MetadataSegment& segment : segments) {
        if (segment.payload.size() > maximumMarkerPayload) continue;
        jpeg_write_marker(&info, segment.marker, segment.payload.data(), static_cast<unsigned>(segment.payload.size()));
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fflush(out) == 0 && std::ferror(out) == 0;
}

}  // namespace veltrop::platform
