#include "kit/platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltrop::platform {

std::expected<InputFile, InputFile::Failure> InputFile::open(const std::filesystem::path& file) {
    // Looked at before opening: opening a FIFO waits for a writer, opening
    // some devices already does something.
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return std::unexpected(Failure::unreadable);
    if (!S_ISREG(info.st_mode)) return std::unexpected(Failure::notRegularFile);
    // Non-blocking and checked again, in case the name now leads elsewhere.
    const int descriptor = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) return std::unexpected(Failure::unreadable);
    InputFile opened(descriptor, 0);
    if (::fstat(descriptor, &info) != 0) return std::unexpected(Failure::unreadable);
    if (!S_ISREG(info.st_mode)) return std::unexpected(Failure::notRegularFile);
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0) ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
    opened.size_ = static_cast<std::uint64_t>(info.st_size);
    return opened;
}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = other.descriptor_;
        size_ = other.size_;
        other.descriptor_ = -1;
    }
    return *this;
}

InputFile::~InputFile() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

std::FILE* InputFile::releaseAsStream() {
    if (descriptor_ < 0) return nullptr;
    std::FILE* stream = ::fdopen(descriptor_, "rb");
    if (stream == nullptr) ::close(descriptor_);
    descriptor_ = -1;
    return stream;
}

}  // namespace veltrop::platform
