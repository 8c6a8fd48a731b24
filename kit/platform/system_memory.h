#pragma once
// What the computer offers, for limits that scale with it.

#include <cstdint>
#include <optional>

namespace veltrop::platform {

// Bytes of physical memory; nullopt when the system does not say.
std::optional<std::uint64_t> physicalMemory();

// The physical memory, or the control group's memory limit when that is
// smaller (containers, systemd slices); nullopt when neither can be read.
std::optional<std::uint64_t> usableMemoryBytes();

}  // namespace veltrop::platform
