#pragma once
// PNG decoding, for photos that are PNG files whatever their name says.

#include <expected>
#include <filesystem>

#include "kit/platform/decoded_image.h"

namespace veltrop::platform {

[[nodiscard]] std::expected<ImageHeader, DecodeFailure> readPngHeader(const std::filesystem::path& file);

// Pixels in the shared BGRA format with alpha premultiplied, and the
// metadata blocks found before the image data (eXIf, iCCP, XMP text).
[[nodiscard]] std::expected<DecodedImage, DecodeFailure> decodePng(const std::filesystem::path& file, const DecodeRequest& request);

}  // namespace veltrop::platform
