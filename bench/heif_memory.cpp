// Peak memory of decoding a 200-megapixel HEIF photo, in full-size bitmaps
// (4 bytes a pixel), next to its target.
//
//   bench_heif_memory [MEGAPIXELS]   (default 200)
//
// The photo is made here: one 512 × 512 tile encoded with libheif, referenced
// as every tile of a grid, the way cameras store large HEIF pictures. The
// decode runs in a forked child whose peak resident size is read back.
#include <libheif/heif.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "kit/export/image_loader.h"

using namespace veltrop;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr int tileSide = 512;

void put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}
void put32(Bytes& out, std::uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
}
void putType(Bytes& out, std::string_view type) { out.insert(out.end(), type.begin(), type.end()); }

Bytes box(std::string_view type, const Bytes& body) {
    Bytes out;
    put32(out, static_cast<std::uint32_t>(body.size() + 8));
    putType(out, type);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}
Bytes fullBox(std::string_view type, std::uint8_t version, std::uint32_t flags, const Bytes& body) {
    Bytes head{version, static_cast<std::uint8_t>(flags >> 16), static_cast<std::uint8_t>(flags >> 8),
               static_cast<std::uint8_t>(flags)};
    head.insert(head.end(), body.begin(), body.end());
    return box(type, head);
}
Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// The first box of that type among the boxes in [begin, end), with its header.
std::optional<std::pair<std::size_t, std::size_t>> findBox(const Bytes& file, std::size_t begin, std::size_t end,
                                                           std::string_view type) {
    while (begin + 8 <= end) {
        const std::size_t size = (std::size_t{file[begin]} << 24) | (std::size_t{file[begin + 1]} << 16) |
                                 (std::size_t{file[begin + 2]} << 8) | file[begin + 3];
        if (size < 8 || begin + size > end) return std::nullopt;
        if (std::memcmp(&file[begin + 4], type.data(), 4) == 0) return std::pair{begin, size};
        begin += size;
    }
    return std::nullopt;
}

// One tile encoded by libheif: its hvcC box and its coded data.
struct Tile {
    Bytes hvcC;
    Bytes data;
};

std::optional<Tile> encodeTile() {
    heif_image* image = nullptr;
    heif_image_create(tileSide, tileSide, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, tileSide, tileSide, 8);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < tileSide; ++y)
        for (int x = 0; x < tileSide; ++x) {
            std::uint8_t* p = plane + static_cast<std::ptrdiff_t>(y) * stride + x * 3;
            p[0] = static_cast<std::uint8_t>(x / 2), p[1] = static_cast<std::uint8_t>(y / 2);
            p[2] = static_cast<std::uint8_t>(((x / 32 + y / 32) & 1) * 200);
        }
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    Bytes file;
    heif_writer writer{1, [](heif_context*, const void* data, std::size_t size, void* user) {
                           auto* out = static_cast<Bytes*>(user);
                           out->insert(out->end(), static_cast<const std::uint8_t*>(data),
                                       static_cast<const std::uint8_t*>(data) + size);
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    const bool ok = heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code == heif_error_Ok &&
                    heif_encoder_set_lossy_quality(encoder, 80).code == heif_error_Ok &&
                    heif_context_encode_image(context, image, encoder, nullptr, nullptr).code == heif_error_Ok &&
                    heif_context_write(context, &writer, &file).code == heif_error_Ok;
    if (encoder) heif_encoder_release(encoder);
    heif_context_free(context);
    heif_image_release(image);
    if (!ok) return std::nullopt;

    const auto meta = findBox(file, 0, file.size(), "meta");
    const auto mdat = findBox(file, 0, file.size(), "mdat");
    if (!meta || !mdat) return std::nullopt;
    const auto iprp = findBox(file, meta->first + 12, meta->first + meta->second, "iprp");
    if (!iprp) return std::nullopt;
    const auto ipco = findBox(file, iprp->first + 8, iprp->first + iprp->second, "ipco");
    if (!ipco) return std::nullopt;
    const auto hvcC = findBox(file, ipco->first + 8, ipco->first + ipco->second, "hvcC");
    if (!hvcC) return std::nullopt;
    Tile tile;
    tile.hvcC.assign(file.begin() + static_cast<std::ptrdiff_t>(hvcC->first),
                     file.begin() + static_cast<std::ptrdiff_t>(hvcC->first + hvcC->second));
    tile.data.assign(file.begin() + static_cast<std::ptrdiff_t>(mdat->first + 8),
                     file.begin() + static_cast<std::ptrdiff_t>(mdat->first + mdat->second));
    return tile;
}

// A HEIF file whose primary picture is a columns × rows grid of the tile.
Bytes gridFile(const Tile& tile, int columns, int rows) {
    const int tiles = columns * rows;
    const std::uint32_t grid = static_cast<std::uint32_t>(tiles) + 1;  // tiles are items 1 … tiles
    const std::uint32_t width = static_cast<std::uint32_t>(columns * tileSide);
    const std::uint32_t height = static_cast<std::uint32_t>(rows * tileSide);

    Bytes hdlr(4, 0);
    putType(hdlr, "pict");
    hdlr.insert(hdlr.end(), 13, 0);
    Bytes pitm;
    put16(pitm, grid);
    Bytes infos;
    put16(infos, grid);
    for (std::uint32_t id = 1; id <= grid; ++id) {
        Bytes infe;
        put16(infe, id);
        put16(infe, 0);
        putType(infe, id == grid ? "grid" : "hvc1");
        infe.push_back(0);
        const Bytes entry = fullBox("infe", 2, id == grid ? 0 : 1, infe);  // tiles are hidden
        infos.insert(infos.end(), entry.begin(), entry.end());
    }
    Bytes dimg;
    put16(dimg, grid);
    put16(dimg, static_cast<std::uint32_t>(tiles));
    for (std::uint32_t id = 1; id < grid; ++id) put16(dimg, id);
    Bytes tileSize, gridSize;
    put32(tileSize, tileSide), put32(tileSize, tileSide);
    put32(gridSize, width), put32(gridSize, height);
    Bytes ipma;
    put32(ipma, grid);
    for (std::uint32_t id = 1; id <= grid; ++id) {
        put16(ipma, id);
        if (id == grid) {
            ipma.push_back(1), ipma.push_back(3);
        } else {
            ipma.push_back(2), ipma.push_back(0x81), ipma.push_back(2);
        }
    }
    const Bytes iprp = box("iprp", join({box("ipco", join({tile.hvcC, fullBox("ispe", 0, 0, tileSize),
                                                            fullBox("ispe", 0, 0, gridSize)})),
                                         fullBox("ipma", 0, 0, ipma)}));
    Bytes descriptor{0, 0, static_cast<std::uint8_t>(rows - 1), static_cast<std::uint8_t>(columns - 1)};
    put16(descriptor, width), put16(descriptor, height);

    // iloc's offsets point into mdat, which follows meta: meta's size is
    // known once iloc is, and iloc's size does not depend on the offsets.
    const auto iloc = [&](std::uint32_t dataOffset) {
        Bytes body{0x44, 0x00};  // 4-byte offsets and lengths, no base offset or index
        put16(body, grid);
        for (std::uint32_t id = 1; id <= grid; ++id) {
            put16(body, id);
            put16(body, id == grid ? 1 : 0);  // the grid's descriptor lies in idat
            put16(body, 0);
            put16(body, 1);
            put32(body, id == grid ? 0 : dataOffset);
            put32(body, static_cast<std::uint32_t>(id == grid ? descriptor.size() : tile.data.size()));
        }
        return fullBox("iloc", 1, 0, body);
    };
    Bytes ftypBody;
    putType(ftypBody, "heic");
    put32(ftypBody, 0);
    putType(ftypBody, "mif1"), putType(ftypBody, "heic");
    const Bytes ftyp = box("ftyp", ftypBody);
    const auto meta = [&](std::uint32_t dataOffset) {
        return fullBox("meta", 0, 0,
                       join({fullBox("hdlr", 0, 0, hdlr), fullBox("pitm", 0, 0, pitm), fullBox("iinf", 0, 0, infos),
                             fullBox("iref", 0, 0, box("dimg", dimg)), iprp, box("idat", descriptor),
                             iloc(dataOffset)}));
    };
    const std::size_t dataOffset = ftyp.size() + meta(0).size() + 8;
    return join({ftyp, meta(static_cast<std::uint32_t>(dataOffset)), box("mdat", tile.data)});
}

}  // namespace

int main(int argc, char** argv) {
    const double megapixels = argc > 1 ? std::atof(argv[1]) : 200;
    // 4:3, whole tiles.
    const int columns = std::max(1, static_cast<int>(std::lround(std::sqrt(megapixels * 1e6 * 4 / 3) / tileSide)));
    const int rows = std::max(1, static_cast<int>(std::lround(columns * 3.0 / 4)));
    if (columns > 256 || rows > 256) {
        std::fprintf(stderr, "at most 256 tiles a side\n");
        return 2;
    }
    const auto tile = encodeTile();
    if (!tile) {
        std::fprintf(stderr, "libheif could not encode a tile (no HEVC encoder?)\n");
        return 2;
    }
    const bench::Scratch scratch;
    const fs::path file = scratch / "large.heic";
    {
        const Bytes bytes = gridFile(*tile, columns, rows);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    exporting::ImageLoader::prepare();
    const double pixels = static_cast<double>(columns) * tileSide * rows * tileSide;
    const double bitmapKilobytes = pixels * 4 / 1024;

    const long idle = bench::childPeakKilobytes([] { return true; });
    const long peak = bench::childPeakKilobytes([&] {
        auto loaded = exporting::ImageLoader::loadUpright(file, {});
        return loaded && loaded->image.width == columns * tileSide && loaded->image.height == rows * tileSide;
    });
    if (peak < 0) {
        std::fprintf(stderr, "the %d x %d HEIF photo did not decode\n", columns * tileSide, rows * tileSide);
        return 1;
    }
    std::printf("%d x %d HEIF grid (%.0f MP, %d tiles): peak %.0f MB resident (the program alone %.0f MB), "
                "one bitmap %.0f MB\n",
                columns * tileSide, rows * tileSide, pixels / 1e6, columns * rows, static_cast<double>(peak) / 1024,
                static_cast<double>(idle) / 1024, bitmapKilobytes / 1024);
    bench::row("HEIF decode peak memory, in full-size bitmaps", static_cast<double>(peak) / bitmapKilobytes, "x", 1.2);
    return 0;
}
