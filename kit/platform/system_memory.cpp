#include "kit/platform/system_memory.h"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <fstream>
#include <string>

namespace veltrop::platform {

namespace {

// A limit file holds a number of bytes, or "max" for none.
std::optional<std::uint64_t> limitIn(const std::string& file) {
    std::ifstream in(file);
    std::string text;
    if (!(in >> text) || text.empty() || text == "max") return std::nullopt;
    try {
        return static_cast<std::uint64_t>(std::stoull(text));
    } catch (...) {
        return std::nullopt;
    }
}

// The own control group's limit: version 2 ("0::/path") or the version 1
// memory controller ("N:memory:/path"), as seen from inside the group's
// namespace or from the host.
std::optional<std::uint64_t> controlGroupLimit() {
    std::ifstream groups("/proc/self/cgroup");
    std::optional<std::uint64_t> lowest;
    const auto consider = [&](std::optional<std::uint64_t> limit) {
        if (limit && (!lowest || *limit < *lowest)) lowest = limit;
    };
    std::string line;
    while (std::getline(groups, line)) {
        const auto first = line.find(':');
        const auto second = first == std::string::npos ? std::string::npos : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (controllers.empty()) {
            consider(limitIn("/sys/fs/cgroup" + path + "/memory.max"));
            consider(limitIn("/sys/fs/cgroup/memory.max"));
        } else if (controllers == "memory") {
            consider(limitIn("/sys/fs/cgroup/memory" + path + "/memory.limit_in_bytes"));
            consider(limitIn("/sys/fs/cgroup/memory/memory.limit_in_bytes"));
        }
    }
    return lowest;
}

}  // namespace

std::optional<std::uint64_t> usableMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    std::optional<std::uint64_t> physical;
    if (pages > 0 && pageSize > 0) physical = static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
    const auto group = controlGroupLimit();
    if (physical && group) return std::min(*physical, *group);
    return physical ? physical : group;
}

std::optional<std::uint64_t> physicalMemory() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return std::nullopt;
    const auto count = static_cast<std::uint64_t>(pages), size = static_cast<std::uint64_t>(pageSize);
    if (count > std::numeric_limits<std::uint64_t>::max() / size) return std::numeric_limits<std::uint64_t>::max();
    return count * size;
}

}  // namespace veltrop::platform
