#pragma once
// PNG encoding of the shared bitmap format, alpha kept.

#include <optional>
#include <string>

#include "kit/image/bitmap.h"

namespace veltrop::platform {

// The bytes of a single-image 8-bit RGBA PNG (straight alpha, as PNG
// stores it); nullopt for an empty bitmap or when the encoder fails.
std::optional<std::string> encodePng(const image::Bitmap& image);

}  // namespace veltrop::platform
