#pragma once
// HEIF/HEIC decoding. The container's rotation and mirroring are applied
// while decoding, so results stand upright and sizes are upright sizes.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>

#include "kit/platform/decoded_image.h"

namespace veltrop::platform {

// True when the first bytes of a file name a HEIF brand this decoder reads.
bool isHeifContent(std::span<const std::uint8_t> firstBytes);

[[nodiscard]] std::expected<ImageHeader, DecodeFailure> readHeifHeader(const std::filesystem::path& file);

// The primary image in the shared BGRA format, upright, with the EXIF, XMP
// and ICC blocks of the file.
[[nodiscard]] std::expected<DecodedImage, DecodeFailure> decodeHeif(const std::filesystem::path& file, const DecodeRequest& request);

}  // namespace veltrop::platform
