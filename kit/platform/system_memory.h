#pragma once
// What the computer offers, for limits that scale with it.

#include <cstdint>
#include <optional>

namespace veltrop::platform {

// Bytes of physical memory; nullopt when the system does not say.
std::optional<std::uint64_t> physicalMemory();

}  // namespace veltrop::platform
