#pragma once
// One memory budget for the photos of an export. A worker reserves what its
// photo will hold before decoding it and gives it back when the copy is
// written, so a batch of huge photos runs fewer at once instead of taking
// more memory than the machine has.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "kit/platform/decoded_image.h"

namespace veltrop::exporting {

// limits::batchMemoryFraction of the memory the program may use, at least
// limits::minimumBatchMemoryBytes.
std::uint64_t defaultBatchMemoryBytes();

// What stamping a photo holds at its peak: the decoded picture, the codec's
// working memory, the stamped copy and a fixed allowance.
std::uint64_t photoMemoryBytes(const platform::DecodeCost& cost);

// "big.jpg is too large to stamp with the memory available (it needs 2300 MB; at most 1024 MB can be used)"
std::string memoryLimitText(const std::string& fileName, std::uint64_t needed, std::uint64_t budget);

class MemoryBudget {
public:
    explicit MemoryBudget(std::uint64_t totalBytes) : total_(totalBytes) {}
    MemoryBudget(const MemoryBudget&) = delete;
    MemoryBudget& operator=(const MemoryBudget&) = delete;

    // Gives its bytes back when it goes away.
    class Reservation {
    public:
        Reservation(Reservation&& other) noexcept : budget_(other.budget_), bytes_(other.bytes_) {
            other.budget_ = nullptr;
        }
        Reservation& operator=(Reservation&& other) noexcept;
        Reservation(const Reservation&) = delete;
        Reservation& operator=(const Reservation&) = delete;
        ~Reservation();
        std::uint64_t bytes() const { return bytes_; }

    private:
        friend class MemoryBudget;
        Reservation(MemoryBudget* budget, std::uint64_t bytes) : budget_(budget), bytes_(bytes) {}
        MemoryBudget* budget_;
        std::uint64_t bytes_;
    };

    // Waits until bytes fit beside what is reserved, first come first
    // served, so that a large photo is not overtaken for ever by small ones.
    // nullopt at once when bytes exceed the whole budget: waiting would never end.
    [[nodiscard]] std::optional<Reservation> reserve(std::uint64_t bytes);

    std::uint64_t total() const { return total_; }
    std::uint64_t reserved() const;

private:
    void release(std::uint64_t bytes);

    const std::uint64_t total_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t reserved_ = 0;
    std::uint64_t nextTicket_ = 0;
    std::uint64_t serving_ = 0;
};

}  // namespace veltrop::exporting
