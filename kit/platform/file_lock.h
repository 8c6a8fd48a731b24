#pragma once
// An advisory lock (flock) on a file that exists only to be locked. Writers
// of a shared file take it around their read-modify-write, so that two
// programs saving at once take turns instead of losing one another's change.

#include <expected>
#include <filesystem>
#include <system_error>

namespace veltrop::platform {

class FileLock {
public:
    // Creates the lock file when missing and waits until the lock is ours.
    // The lock file is never removed: a removed and re-created one would let
    // two writers hold "the" lock at the same time.
    [[nodiscard]] static std::expected<FileLock, std::error_code> acquire(const std::filesystem::path& lockFile);

    FileLock(FileLock&& other) noexcept : descriptor_(other.descriptor_) { other.descriptor_ = -1; }
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    // Releases the lock.
    ~FileLock();

private:
    explicit FileLock(int descriptor) : descriptor_(descriptor) {}
    int descriptor_ = -1;
};

}  // namespace veltrop::platform
