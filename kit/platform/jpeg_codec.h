#pragma once
// JPEG decoding and encoding.

#include <cstdio>
#include <expected>
#include <filesystem>
#include <functional>
#include <span>

#include "kit/platform/decoded_image.h"

namespace veltrop::platform {

// The stored size, the EXIF, XMP, IPTC and ICC blocks and every application
// and comment segment, without decoding pixels.
[[nodiscard]] std::expected<ImageHeader, DecodeFailure> readJpegHeader(const std::filesystem::path& file);

// Pixels as stored (not rotated) in the shared BGRA format, with the metadata
// blocks. Grey, YCbCr, RGB, CMYK and YCCK files decode; CMYK, YCCK and grey
// with an embedded profile of their colour space are converted into sRGB.
// Damaged data the decoder recovers from decodes; data that ends before the
// last row (or, without an end marker, before the last scan) fails instead
// of giving a partly grey picture.
[[nodiscard]] std::expected<DecodedImage, DecodeFailure> decodeJpeg(const std::filesystem::path& file, const DecodeRequest& request);

// Encodes the bitmap at quality 1…100 with the given segments written in
// order after the start of the file (a segment too large is left out).
// libjpeg adds a JFIF segment unless the segments hold a JFIF or an EXIF one.
// True when everything was written to the stream.
bool encodeJpeg(const image::Bitmap& image, int quality, std::span<const MetadataSegment> segments, std::FILE* out);

// The same for a picture still being made: before reading rows up to (not
// including) `rows` the encoder calls waitForRows(rows), which returns once
// that many rows from the top are final, or false to give up (the encoding
// then fails). The bytes are those the whole picture would give.
bool encodeJpeg(const image::Bitmap& image, int quality, std::span<const MetadataSegment> segments, std::FILE* out,
                const std::function<bool(int rows)>& waitForRows);

}  // namespace veltrop::platform
