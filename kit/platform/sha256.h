#pragma once
// SHA-256 of bytes and of files, for package checksums. Files are read in
// fixed-size pieces, so no file is ever held in memory as a whole.

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

namespace veltrop::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256;

namespace detail {

// The portable block function alone, so that tests can hold the processor's
// own SHA instructions against it.
Sha256Digest portableSha256(std::string_view bytes);
bool hasShaInstructions();

}  // namespace detail

class Sha256 {
public:
    Sha256();
    void update(std::span<const std::uint8_t> bytes);
    void update(std::string_view bytes);
    // The digest of everything given; the object is spent afterwards.
    Sha256Digest finish();

private:
    using Blocks = void (*)(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks);
    explicit Sha256(Blocks blocks);
    friend Sha256Digest detail::portableSha256(std::string_view bytes);

    Blocks blocks_;
    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

Sha256Digest sha256(std::string_view bytes);

// 64 lower-case hexadecimal digits.
std::string hexText(const Sha256Digest& digest);

// Reads the file from start to end; fails with the system's error when it
// cannot be opened or read. Symbolic links are followed.
[[nodiscard]] std::expected<Sha256Digest, std::error_code> sha256OfFile(const std::filesystem::path& file);

}  // namespace veltrop::platform
