#pragma once
// How much memory the program may use.

#include <cstdint>
#include <optional>

namespace veltrop::platform {

// The physical memory, or the control group's memory limit when that is
// smaller (containers, systemd slices); nullopt when neither can be read.
std::optional<std::uint64_t> usableMemoryBytes();

}  // namespace veltrop::platform
