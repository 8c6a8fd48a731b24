#pragma once
// Opening a file that is only read, such as a photo. Only regular files are
// opened: a FIFO would block the reader for ever, a device could have
// effects or never end, so their type is checked before they are opened.

#include <cstdint>
#include <cstdio>
#include <expected>
#include <filesystem>

namespace veltrop::platform {

class InputFile {
public:
    enum class Failure {
        unreadable,      // missing, not permitted, or the system refused
        notRegularFile,  // a folder, FIFO, socket or device
    };

    // Follows symbolic links. Never blocks on the item it opens.
    [[nodiscard]] static std::expected<InputFile, Failure> open(const std::filesystem::path& file);

    InputFile(InputFile&& other) noexcept : descriptor_(other.descriptor_), size_(other.size_) {
        other.descriptor_ = -1;
    }
    InputFile& operator=(InputFile&& other) noexcept;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    int descriptor() const { return descriptor_; }
    std::uint64_t size() const { return size_; }

    // A stdio stream that now owns the file (closed by fclose); nullptr
    // when none could be made, the file is closed then too.
    std::FILE* releaseAsStream();

private:
    InputFile(int descriptor, std::uint64_t size) : descriptor_(descriptor), size_(size) {}
    int descriptor_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace veltrop::platform
