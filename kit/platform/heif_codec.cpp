#include "kit/platform/heif_codec.h"

#include <libheif/heif.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <array>
#include <cstring>
#include <optional>
#include <memory>
#include <vector>

#include "kit/platform/input_file.h"
#include "kit/platform/limits.h"

namespace veltrop::platform {

namespace {

struct ContextDeleter {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsDeleter {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
using Context = std::unique_ptr<heif_context, ContextDeleter>;
using Handle = std::unique_ptr<heif_image_handle, HandleDeleter>;
using Image = std::unique_ptr<heif_image, ImageDeleter>;
using Options = std::unique_ptr<heif_decoding_options, OptionsDeleter>;

// libheif reads through this from a file opened only if it is a regular
// file, and only the parts it asks for. libheif keeps its address, so it
// neither moves nor copies.
class FileReader {
public:
    explicit FileReader(InputFile file) : file_(std::move(file)) {}
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    static const heif_reader* functions() {
        static const heif_reader reader{
            1,
            [](void* self) -> std::int64_t { return static_cast<FileReader*>(self)->position_; },
            [](void* data, std::size_t size, void* self) { return static_cast<FileReader*>(self)->read(data, size); },
            [](std::int64_t position, void* self) {
                auto* file = static_cast<FileReader*>(self);
                if (position < 0 || static_cast<std::uint64_t>(position) > file->file_.size()) return -1;
                file->position_ = position;
                return 0;
            },
            [](std::int64_t size, void* self) {
                return size < 0 || static_cast<std::uint64_t>(size) > static_cast<FileReader*>(self)->file_.size()
                           ? heif_reader_grow_status_size_beyond_eof
                           : heif_reader_grow_status_size_reached;
            },
        };
        return &reader;
    }

private:
    int read(void* data, std::size_t size) {
        auto* out = static_cast<std::uint8_t*>(data);
        while (size > 0) {
            const ssize_t count = ::pread(file_.descriptor(), out, size, static_cast<off_t>(position_));
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) return -1;
            out += count;
            size -= static_cast<std::size_t>(count);
            position_ += count;
        }
        return 0;
    }

    InputFile file_;
    std::int64_t position_ = 0;
};

struct Opened {
    std::unique_ptr<FileReader> reader;  // outlives the context, which reads lazily
    Context context;
    Handle primary;
};

[[nodiscard]] std::expected<Opened, DecodeFailure> open(const std::filesystem::path& file) {
    auto input = InputFile::open(file);
    if (!input) return std::unexpected(DecodeFailure::unreadable);
    auto reader = std::make_unique<FileReader>(std::move(*input));
    Context context(heif_context_alloc());
    if (!context) return std::unexpected(DecodeFailure::unsupported);
    const heif_error read =
        heif_context_read_from_reader(context.get(), FileReader::functions(), reader.get(), nullptr);
    if (read.code != heif_error_Ok) return std::unexpected(DecodeFailure::unsupported);
    heif_image_handle* handle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok || handle == nullptr)
        return std::unexpected(DecodeFailure::unsupported);
    return Opened{std::move(reader), std::move(context), Handle(handle)};
}

std::vector<std::uint8_t> metadataBlock(const heif_image_handle* handle, heif_item_id id) {
    std::vector<std::uint8_t> bytes(heif_image_handle_get_metadata_size(handle, id));
    if (bytes.empty() || heif_image_handle_get_metadata(handle, id, bytes.data()).code != heif_error_Ok) return {};
    return bytes;
}

std::vector<heif_item_id> metadataIds(const heif_image_handle* handle, const char* type) {
    const int count = heif_image_handle_get_number_of_metadata_blocks(handle, type);
    std::vector<heif_item_id> ids(static_cast<std::size_t>(std::max(count, 0)));
    if (!ids.empty()) heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), count);
    return ids;
}

// HEIF stores EXIF behind a 4-byte offset to the TIFF header.
std::vector<std::uint8_t> tiffPart(const std::vector<std::uint8_t>& block) {
    if (block.size() < 4) return {};
    const std::size_t offset = (std::size_t{block[0]} << 24) | (std::size_t{block[1]} << 16) |
                               (std::size_t{block[2]} << 8) | block[3];
    if (offset > block.size() - 4 || block.size() - 4 - offset < 8) return {};
    const auto start = block.begin() + 4 + static_cast<std::ptrdiff_t>(offset);
    if (!(start[0] == 'I' && start[1] == 'I') && !(start[0] == 'M' && start[1] == 'M')) return {};
    return {start, block.end()};
}

MetadataBlocks collectMetadata(const heif_image_handle* handle) {
    MetadataBlocks blocks;
    for (heif_item_id id : metadataIds(handle, "Exif")) {
        blocks.exif = tiffPart(metadataBlock(handle, id));
        if (!blocks.exif.empty()) break;
    }
    for (heif_item_id id : metadataIds(handle, "mime")) {
        const char* contentType = heif_image_handle_get_metadata_content_type(handle, id);
        if (contentType == nullptr || std::strcmp(contentType, "application/rdf+xml") != 0) continue;
        const auto bytes = metadataBlock(handle, id);
        blocks.xmp.assign(bytes.begin(), bytes.end());
        if (auto end = blocks.xmp.find('\0'); end != std::string::npos) blocks.xmp.resize(end);
        break;
    }
    const std::size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle);
    if (iccSize > 0) {
        blocks.icc.resize(iccSize);
        if (heif_image_handle_get_raw_color_profile(handle, blocks.icc.data()).code != heif_error_Ok) blocks.icc.clear();
    }
    return blocks;
}

// Gives the memory of rows first … last − 1 of libheif's picture back to the
// system once they are copied: otherwise its picture and ours would both be
// whole at the end, almost twice the photo. Only pages lying wholly inside
// those rows are given back; nothing reads them again before the picture is
// freed.
void releaseRows(const std::uint8_t* plane, int stride, int first, int last) {
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    if (page == 0 || last <= first) return;
    const auto start = reinterpret_cast<std::uintptr_t>(plane) + static_cast<std::uintptr_t>(stride) * static_cast<std::uintptr_t>(first);
    const auto end = reinterpret_cast<std::uintptr_t>(plane) + static_cast<std::uintptr_t>(stride) * static_cast<std::uintptr_t>(last);
    const std::uintptr_t from = (start + page - 1) / page * page;
    const std::uintptr_t to = end / page * page;
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

// Rows copied between two releases: large enough for whole pages.
constexpr int releaseEveryRows = 64;

// The decoded picture's 8-bit red, green, blue and alpha samples, in planes
// of their own or interleaved in one.
struct Channels {
    Image image;
    int width = 0, height = 0;
    std::size_t step = 1;  // bytes from one pixel's sample to the next
    std::array<const std::uint8_t*, 4> planes{};
    std::array<int, 4> strides{};
    int planeCount = 0;  // distinct planes, the first planeCount of `planes`

    const std::uint8_t* row(int channel, int y) const {
        return planes[static_cast<std::size_t>(channel)] +
               static_cast<std::ptrdiff_t>(strides[static_cast<std::size_t>(channel)]) * y;
    }
    void release(int first, int last) const {
        for (int p = 0; p < planeCount; ++p)
            releaseRows(planes[static_cast<std::size_t>(p)], strides[static_cast<std::size_t>(p)], first, last);
    }
};

std::optional<Channels> decodedChannels(const heif_image_handle* handle, const heif_decoding_options* options,
                                        bool alpha, heif_chroma chroma) {
    heif_image* decoded = nullptr;
    const heif_error error = heif_decode_image(handle, &decoded, heif_colorspace_RGB, chroma, options);
    Channels channels;
    channels.image = Image(decoded);
    if (error.code != heif_error_Ok || !channels.image) return std::nullopt;
    heif_image* image = channels.image.get();
    const bool interleaved = chroma != heif_chroma_444;
    if (interleaved) {
        int stride = 0;
        const std::uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        if (plane == nullptr || heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) != 8)
            return std::nullopt;
        channels.width = heif_image_get_width(image, heif_channel_interleaved);
        channels.height = heif_image_get_height(image, heif_channel_interleaved);
        channels.step = alpha ? 4 : 3;
        for (std::size_t c = 0; c < 4; ++c) channels.planes[c] = plane + c, channels.strides[c] = stride;
        channels.planeCount = 1;
    } else {
        const std::array<heif_channel, 4> names{heif_channel_R, heif_channel_G, heif_channel_B, heif_channel_Alpha};
        channels.planeCount = alpha ? 4 : 3;
        channels.width = heif_image_get_width(image, heif_channel_R);
        channels.height = heif_image_get_height(image, heif_channel_R);
        for (std::size_t c = 0; c < static_cast<std::size_t>(channels.planeCount); ++c) {
            channels.planes[c] = heif_image_get_plane_readonly(image, names[c], &channels.strides[c]);
            if (channels.planes[c] == nullptr || heif_image_get_bits_per_pixel_range(image, names[c]) != 8 ||
                heif_image_get_width(image, names[c]) != channels.width ||
                heif_image_get_height(image, names[c]) != channels.height)
                return std::nullopt;
        }
    }
    if (channels.width <= 0 || channels.height <= 0) return std::nullopt;
    return channels;
}

}  // namespace

bool isHeifContent(std::span<const std::uint8_t> firstBytes) {
    if (firstBytes.size() < 12) return false;
    const heif_filetype_result result = heif_check_filetype(firstBytes.data(), static_cast<int>(firstBytes.size()));
    return result == heif_filetype_yes_supported;
}

std::expected<ImageHeader, DecodeFailure> readHeifHeader(const std::filesystem::path& file) {
    auto opened = open(file);
    if (!opened) return std::unexpected(opened.error());
    ImageHeader header;
    header.width = heif_image_handle_get_width(opened->primary.get());
    header.height = heif_image_handle_get_height(opened->primary.get());
    // A damaged file can declare an empty picture; it has nothing to stamp.
    if (header.width < 1 || header.height < 1) return std::unexpected(DecodeFailure::unsupported);
    header.metadata = collectMetadata(opened->primary.get());
    return header;
}

std::expected<DecodedImage, DecodeFailure> decodeHeif(const std::filesystem::path& file, const DecodeRequest& request) {
    auto opened = open(file);
    if (!opened) return std::unexpected(opened.error());
    heif_image_handle* handle = opened->primary.get();
    const std::int64_t pixels =
        static_cast<std::int64_t>(heif_image_handle_get_width(handle)) * heif_image_handle_get_height(handle);
    if (pixels <= 0 || (request.maximumPixels > 0 && pixels > request.maximumPixels))
        return std::unexpected(DecodeFailure::unsupported);
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle) > 8 ||
                      heif_image_handle_get_chroma_bits_per_pixel(handle) > 8;
    const double workingBytesPerPixel = deep ? limits::deepHeifDecoderBytesPerPixel : limits::heifDecoderBytesPerPixel;
    const DecodeCost cost{heif_image_handle_get_width(handle), heif_image_handle_get_height(handle),
                          static_cast<std::uint64_t>(static_cast<double>(pixels) * workingBytesPerPixel)};
    if (request.admit && !request.admit(cost)) return std::unexpected(DecodeFailure::unsupported);

    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    Options options(heif_decoding_options_alloc());
    if (!options) return std::unexpected(DecodeFailure::unsupported);
    options->convert_hdr_to_8bit = 1;
    // Separate planes come straight from libheif's colour conversion; asking
    // for interleaved samples adds a second conversion step that holds two
    // pictures of three bytes a pixel at once.
    // Deeper pictures come as planes of their own depth; libheif brings them
    // to 8 bits only in interleaved samples.
    std::optional<Channels> channels;
    if (!deep) channels = decodedChannels(handle, options.get(), alpha, heif_chroma_444);
    if (!channels) channels = decodedChannels(handle, options.get(), alpha, alpha ? heif_chroma_interleaved_RGBA
                                                                                  : heif_chroma_interleaved_RGB);
    if (!channels) return std::unexpected(DecodeFailure::unsupported);
    const int width = channels->width, height = channels->height;
    // A picture of another size than the file states is damage; a larger
    // one would also take memory that was never reserved (found by fuzzing).
    if (width != heif_image_handle_get_width(handle) || height != heif_image_handle_get_height(handle))
        return std::unexpected(DecodeFailure::unsupported);
    auto bitmap = image::Bitmap::allocate(width, height);
    if (!bitmap) return std::unexpected(DecodeFailure::unsupported);

    const bool premultiplied = heif_image_handle_is_premultiplied_alpha(handle) != 0;
    const std::size_t step = channels->step;
    int released = 0;
    for (int y = 0; y < height; ++y) {
        if (y - released >= releaseEveryRows) {
            channels->release(released, y);
            released = y;
        }
        const std::uint8_t* r = channels->row(0, y);
        const std::uint8_t* g = channels->row(1, y);
        const std::uint8_t* b = channels->row(2, y);
        const std::uint8_t* a = alpha ? channels->row(3, y) : nullptr;
        std::uint8_t* out = bitmap->row(y);
        for (int x = 0; x < width; ++x, out += 4) {
            const std::size_t i = static_cast<std::size_t>(x) * step;
            const unsigned opacity = a != nullptr ? a[i] : 255;
            if (opacity == 255 || premultiplied) {
                out[0] = b[i], out[1] = g[i], out[2] = r[i];
            } else {
                out[0] = static_cast<std::uint8_t>((b[i] * opacity + 127) / 255);
                out[1] = static_cast<std::uint8_t>((g[i] * opacity + 127) / 255);
                out[2] = static_cast<std::uint8_t>((r[i] * opacity + 127) / 255);
            }
            out[3] = static_cast<std::uint8_t>(opacity);
        }
    }
    return DecodedImage{*bitmap, ImageHeader{width, height, collectMetadata(handle)}};
}

}  // namespace veltrop::platform
