#pragma once
// JPEG decoding and encoding.

#include <cstdio>
#include <expected>
#include <filesystem>

#include "kit/platform/decoded_image.h"

namespace veltrop::platform {

// The stored size and the EXIF, XMP, IPTC and ICC blocks, without decoding pixels.
[[nodiscard]] std::expected<ImageHeader, DecodeFailure> readJpegHeader(const std::filesystem::path& file);

// Pixels as stored (not rotated) in the shared BGRA format, with the metadata
// blocks. Grey, YCbCr, RGB, CMYK and YCCK files decode; entropy-coded data
// that is truncated or corrupt fails instead of giving a partly grey picture.
[[nodiscard]] std::expected<DecodedImage, DecodeFailure> decodeJpeg(const std::filesystem::path& file, const DecodeRequest& request);

// Encodes the bitmap at quality 1…100 with the given metadata blocks written
// as APP segments; a block too large for its segment is left out.
// True when everything was written to the stream.
bool encodeJpeg(const image::Bitmap& image, int quality, const MetadataBlocks& metadata, std::FILE* out);

}  // namespace veltrop::platform
