#include "kit/export/memory_budget.h"

#include <algorithm>

#include "kit/platform/limits.h"
#include "kit/platform/system_memory.h"

namespace veltrop::exporting {

namespace limits = platform::limits;

std::uint64_t defaultBatchMemoryBytes() {
    const std::uint64_t usable = platform::usableMemoryBytes().value_or(limits::assumedMemoryBytes);
    const auto share = static_cast<std::uint64_t>(static_cast<double>(usable) * limits::batchMemoryFraction);
    return std::max(share, limits::minimumBatchMemoryBytes);
}

std::uint64_t photoMemoryBytes(const platform::DecodeCost& cost) {
    const double pixels = static_cast<double>(cost.width) * static_cast<double>(cost.height);
    return cost.pictureBytes() + cost.workingBytes +
           static_cast<std::uint64_t>(pixels * limits::renderBytesPerPixel) + limits::photoOverheadBytes;
}

std::string memoryLimitText(const std::string& fileName, std::uint64_t needed, std::uint64_t budget) {
    const auto megabytes = [](std::uint64_t bytes) { return std::to_string((bytes + (1u << 20) - 1) >> 20); };
    return fileName + " is too large to stamp with the memory available (it needs " + megabytes(needed) +
           " MB; at most " + megabytes(budget) + " MB can be used)";
}

MemoryBudget::Reservation& MemoryBudget::Reservation::operator=(Reservation&& other) noexcept {
    if (this != &other) {
        if (budget_ != nullptr) budget_->release(bytes_);
        budget_ = other.budget_;
        bytes_ = other.bytes_;
        other.budget_ = nullptr;
    }
    return *this;
}

MemoryBudget::Reservation::~Reservation() {
    if (budget_ != nullptr) budget_->release(bytes_);
}

std::optional<MemoryBudget::Reservation> MemoryBudget::reserve(std::uint64_t bytes) {
    if (bytes > total_) return std::nullopt;
    std::unique_lock lock(mutex_);
    const std::uint64_t ticket = nextTicket_++;
    changed_.wait(lock, [&] { return serving_ == ticket && reserved_ + bytes <= total_; });
    reserved_ += bytes;
    ++serving_;
    changed_.notify_all();  // the next in line may fit too
    return Reservation(this, bytes);
}

std::uint64_t MemoryBudget::reserved() const {
    std::lock_guard lock(mutex_);
    return reserved_;
}

void MemoryBudget::release(std::uint64_t bytes) {
    {
        std::lock_guard lock(mutex_);
        reserved_ -= bytes;
    }
    changed_.notify_all();
}

}  // namespace veltrop::exporting
