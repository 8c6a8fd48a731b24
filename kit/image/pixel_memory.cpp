#include "kit/image/pixel_memory.h"

#include <sys/mman.h>

#include <new>

namespace veltrop::image {

namespace {

constexpr std::size_t hugePage = 2u << 20;

struct Unmap {
    std::size_t length;
    void operator()(std::uint8_t* memory) const { ::munmap(memory, length); }
};

}  // namespace

std::shared_ptr<std::uint8_t[]> allocatePixelMemory(std::size_t bytes) {
    if (bytes < hugePage) {
        std::uint8_t* memory = new (std::nothrow) std::uint8_t[bytes];
        return memory ? std::shared_ptr<std::uint8_t[]>(memory) : nullptr;
    }
    // Map a little more than needed so that the buffer can start on a huge-page boundary.
    const std::size_t rounded = (bytes + hugePage - 1) / hugePage * hugePage;
    const std::size_t mapped = rounded + hugePage;
    void* region = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (region == MAP_FAILED) return nullptr;
    auto* start = static_cast<std::uint8_t*>(region);
    const auto address = reinterpret_cast<std::uintptr_t>(start);
    auto* aligned = reinterpret_cast<std::uint8_t*>((address + hugePage - 1) / hugePage * hugePage);
    // Give back the unaligned head and the unused tail.
    if (aligned > start) ::munmap(start, static_cast<std::size_t>(aligned - start));
    const std::size_t tail = static_cast<std::size_t>(start + mapped - (aligned + rounded));
    if (tail > 0) ::munmap(aligned + rounded, tail);
    ::madvise(aligned, rounded, MADV_HUGEPAGE);  // a hint; without huge pages the memory still works
    try {
        return std::shared_ptr<std::uint8_t[]>(aligned, Unmap{rounded});
    } catch (const std::bad_alloc&) {
        ::munmap(aligned, rounded);
        return nullptr;
    }
}

}  // namespace veltrop::image
