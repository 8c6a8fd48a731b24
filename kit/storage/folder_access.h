#pragma once
// Permission to use a folder the user picked, remembered across launches,
// and the two checks made before an export.
//
// On Linux a bookmark records the folder's standardised path with the device
// and inode it had; a folder later found at that path with another identity
// makes the bookmark stale, and it is refreshed.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/storage/application_support.h"
#include "kit/storage/file_system_error.h"

namespace veltrop::storage {

// Access to one location for as long as the object lives. Linux has no
// sandbox whose grant must be held open, so nothing is kept open per item
// (a batch of thousands of photos would run out of file handles): every use
// opens the item afresh and reports its own failure. started is false when
// the item could not be reached.
class ScopedFileAccess {
public:
    explicit ScopedFileAccess(std::filesystem::path url);

    const std::filesystem::path& url() const { return url_; }
    bool started() const { return started_; }

private:
    std::filesystem::path url_;
    bool started_ = false;
};

class FolderAccessStore {
public:
    static constexpr const char* fileName = "folder-access.json";

    explicit FolderAccessStore(std::filesystem::path fileURL) : fileURL_(std::move(fileURL)) {}

    // folder-access.json in the Veltrop folder of the per-user data folder.
    [[nodiscard]] static std::expected<FolderAccessStore, FileSystemError> standard(
        const EnvironmentLookup& environment = processEnvironment);

    const std::filesystem::path& fileURL() const { return fileURL_; }

    // Stores a fresh bookmark under the folder's standardised path, replacing an older one.
    [[nodiscard]] std::expected<void, FileSystemError> remember(const std::filesystem::path& folder) const;

    // nullopt when nothing is remembered for the folder. A remembered location
    // that is no longer a folder fails with the missing-file error.
    [[nodiscard]] std::expected<std::optional<ScopedFileAccess>, FileSystemError> restoreAccess(
        const std::filesystem::path& folder) const;

private:
    std::filesystem::path fileURL_;
};

class ExportFolderAccess {
public:
    static constexpr const char* probePrefix = ".veltrop-access-";

    // Creates the folder if needed, then creates and removes a private
    // sub-folder in it. Leaves nothing behind when it succeeds.
    [[nodiscard]] static std::expected<void, FileSystemError> probeWritable(const std::filesystem::path& folder);

    // True when some dropped item that is not a folder lies outside every
    // dropped folder: its copies would have nowhere to go without an output folder.
    static bool needsChosenOutputFolder(const std::vector<std::filesystem::path>& dropped);
};

namespace detail {

// The opaque bytes of a bookmark and their content.
struct Bookmark {
    std::string path;  // standardised
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const Bookmark&) const = default;
};
std::string encodeBookmark(const Bookmark& bookmark);
std::optional<Bookmark> decodeBookmark(std::string_view bytes);

}  // namespace detail

}  // namespace veltrop::storage
