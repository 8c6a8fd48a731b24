#include "kit/platform/system_memory.h"

#include <unistd.h>

#include <limits>

namespace veltrop::platform {

std::optional<std::uint64_t> physicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::nullopt;
    const auto count = static_cast<std::uint64_t>(pages), size = static_cast<std::uint64_t>(pageSize);
    if (count > std::numeric_limits<std::uint64_t>::max() / size) return std::numeric_limits<std::uint64_t>::max();
    return count * size;
}

}  // namespace veltrop::platform
