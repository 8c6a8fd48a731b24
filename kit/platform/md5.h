#pragma once
// MD5, which XMP uses to name the extended part of a packet in JPEG files.

#include <cstdint>
#include <span>
#include <string>

namespace veltrop::platform {

// The digest as 32 upper-case hexadecimal digits.
std::string md5Hex(std::span<const std::uint8_t> data);

}  // namespace veltrop::platform
