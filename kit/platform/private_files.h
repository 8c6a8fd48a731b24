#pragma once
// POSIX file operations for the application's private files: whole-file
// reads, a rewrite that no reader sees half done, a copy that never replaces,
// and the identity of an item as the file system knows it.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace veltrop::platform {

[[nodiscard]] std::expected<std::string, std::error_code> readWholeFile(const std::filesystem::path& file);

// Writes bytes to a fresh temporary file in the destination's folder, flushes
// it to disk and renames it over the destination, so that the destination
// holds either the old or the new bytes, never a mixture. No temporary file
// remains on failure. An empty error code is success.
std::error_code writeFileAtomically(const std::filesystem::path& destination, std::string_view bytes);

// Creates the destination exclusively (failing with EEXIST when anything is
// there) and copies the source's bytes into it. A partial copy is removed.
std::error_code copyFileExclusively(const std::filesystem::path& source, const std::filesystem::path& destination);

// One directory, not its parents, with the given permission bits.
std::error_code makeDirectory(const std::filesystem::path& directory, unsigned mode);
std::error_code removeDirectory(const std::filesystem::path& directory);

// Writes bytes into a new file that must not exist yet; removed again on failure.
std::error_code writeNewFile(const std::filesystem::path& file, std::string_view bytes);

struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool isDirectory = false;
    bool operator==(const FileIdentity&) const = default;
};

// Follows symbolic links, like opening the item would.
[[nodiscard]] std::expected<FileIdentity, std::error_code> fileIdentity(const std::filesystem::path& item);

}  // namespace veltrop::platform
