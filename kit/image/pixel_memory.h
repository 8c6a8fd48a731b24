#pragma once
// Memory for pixel buffers. Large buffers are asked for in huge pages where
// the system offers them: touching a fresh 40 MB bitmap page by page can cost
// more than decoding the photo into it.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace veltrop::image {

// Uninitialised; nullptr when memory runs out.
std::shared_ptr<std::uint8_t[]> allocatePixelMemory(std::size_t bytes);

}  // namespace veltrop::image
