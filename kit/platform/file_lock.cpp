#include "kit/platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace veltrop::platform {

std::expected<FileLock, std::error_code> FileLock::acquire(const std::filesystem::path& lockFile) {
    const int descriptor = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) return std::unexpected(std::error_code(errno, std::generic_category()));
    while (::flock(descriptor, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const std::error_code error(errno, std::generic_category());
        ::close(descriptor);
        return std::unexpected(error);
    }
    return FileLock(descriptor);
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = other.descriptor_;
        other.descriptor_ = -1;
    }
    return *this;
}

FileLock::~FileLock() {
    // Closing the only descriptor of the open file releases its lock.
    if (descriptor_ >= 0) ::close(descriptor_);
}

}  // namespace veltrop::platform
