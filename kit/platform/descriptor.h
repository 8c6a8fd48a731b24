#pragma once
// A POSIX file descriptor closed when its owner goes away. Internal to the
// platform layer's own sources.

#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace veltrop::platform::detail {

inline std::error_code lastError() { return {errno, std::generic_category()}; }

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // The caller owns the descriptor from now on.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // close() reports delayed write errors, so a success path closes explicitly.
    std::error_code close() {
        const int fd = release();
        return ::close(fd) == 0 ? std::error_code{} : lastError();
    }

private:
    int fd_;
};

}  // namespace veltrop::platform::detail
