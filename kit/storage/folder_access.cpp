#include "kit/storage/folder_access.h"

#include <algorithm>
#include <array>
#include <utility>

#include "kit/records/path_key.h"
#include "kit/json/writer.h"
#include "kit/platform/private_files.h"
#include "kit/settings/uuid.h"
#include "kit/storage/base64.h"

namespace veltrop::storage {

namespace fs = std::filesystem;
using Json = json::Value;  // the file keeps its entries in the order they were added

// ---------------------------------------------------------------- ScopedFileAccess

ScopedFileAccess::ScopedFileAccess(fs::path url) : url_(std::move(url)) {
    started_ = platform::fileIdentity(url_).has_value();
}

// ---------------------------------------------------------------- bookmarks

namespace detail {

namespace {
constexpr std::string_view bookmarkMagic = "VTBM1";

void appendNumber(std::string& bytes, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t readNumber(std::string_view bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    return value;
}
}  // namespace

// Binary rather than JSON, so that a path that is not UTF-8 survives.
std::string encodeBookmark(const Bookmark& bookmark) {
    std::string bytes(bookmarkMagic);
    appendNumber(bytes, bookmark.device);
    appendNumber(bytes, bookmark.inode);
    bytes += bookmark.path;
    return bytes;
}

std::optional<Bookmark> decodeBookmark(std::string_view bytes) {
    const std::size_t header = bookmarkMagic.size() + 16;
    if (bytes.size() <= header || !bytes.starts_with(bookmarkMagic)) return std::nullopt;
    Bookmark bookmark;
    bookmark.device = readNumber(bytes.substr(bookmarkMagic.size(), 8));
    bookmark.inode = readNumber(bytes.substr(bookmarkMagic.size() + 8, 8));
    bookmark.path = std::string(bytes.substr(header));
    if (!fs::path(bookmark.path).is_absolute() || bookmark.path.find('\0') != std::string::npos) return std::nullopt;
    return bookmark;
}

}  // namespace detail

namespace {

using BookmarkMap = Json;

std::string standardizedKey(const fs::path& location) { return records::standardized(location).string(); }

[[nodiscard]] std::expected<std::string, FileSystemError> createBookmark(const fs::path& location) {
    const fs::path path = records::standardized(location);
    auto identity = platform::fileIdentity(path);
    if (!identity) return std::unexpected(FileSystemError{FileSystemError::Operation::read, path, identity.error()});
    return detail::encodeBookmark({path.string(), identity->device, identity->inode});
}

struct ResolvedBookmark {
    fs::path location;
    bool isStale = false;
};

[[nodiscard]] std::expected<ResolvedBookmark, FileSystemError> resolveBookmark(const std::string& bytes,
                                                                              const fs::path& fileURL) {
    const std::optional<detail::Bookmark> bookmark = detail::decodeBookmark(bytes);
    if (!bookmark)
        return std::unexpected(FileSystemError{FileSystemError::Operation::decode, fileURL,
                                               std::make_error_code(std::errc::illegal_byte_sequence)});
    const fs::path location = bookmark->path;
    auto identity = platform::fileIdentity(location);
    if (!identity) return std::unexpected(FileSystemError{FileSystemError::Operation::read, location, identity.error()});
    return ResolvedBookmark{location, identity->device != bookmark->device || identity->inode != bookmark->inode};
}

FileSystemError damaged(const fs::path& fileURL) {
    return {FileSystemError::Operation::decode, fileURL, std::make_error_code(std::errc::illegal_byte_sequence)};
}

[[nodiscard]] std::expected<BookmarkMap, FileSystemError> readMap(const fs::path& fileURL) {
    auto bytes = platform::readWholeFile(fileURL);
    if (!bytes) {
        if (bytes.error() == std::errc::no_such_file_or_directory) return BookmarkMap(json::Object{});
        return std::unexpected(FileSystemError{FileSystemError::Operation::read, fileURL, bytes.error()});
    }
    auto map = json::parse(*bytes);
    if (!map || !map->object()) return std::unexpected(damaged(fileURL));
    const json::Object& entries = *map->object();
    if (!std::all_of(entries.begin(), entries.end(), [](const json::Member& entry) { return entry.value.string(); }))
        return std::unexpected(damaged(fileURL));
    return std::move(*map);
}

[[nodiscard]] std::expected<void, FileSystemError> writeMap(const fs::path& fileURL, const BookmarkMap& map) {
    const fs::path folder = fileURL.parent_path();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) return std::unexpected(FileSystemError{FileSystemError::Operation::createFolder, folder, error});

    const auto text = json::write(map, json::Repair::none, json::Layout::compact);
    if (!text) {
        // A folder name that is not UTF-8 cannot be a JSON key.
        return std::unexpected(FileSystemError{FileSystemError::Operation::write, fileURL,
                                               std::make_error_code(std::errc::illegal_byte_sequence)});
    }
    if (auto writeError = platform::writeFileAtomically(fileURL, *text))
        return std::unexpected(FileSystemError{FileSystemError::Operation::write, fileURL, writeError});
    return {};
}

}  // namespace

// ---------------------------------------------------------------- FolderAccessStore

std::expected<FolderAccessStore, FileSystemError> FolderAccessStore::standard(const EnvironmentLookup& environment) {
    auto folder = veltropFolder(environment);
    if (!folder) return std::unexpected(folder.error());
    return FolderAccessStore(*folder / fileName);
}

std::expected<void, FileSystemError> FolderAccessStore::remember(const fs::path& folder) const {
    auto bookmark = createBookmark(folder);
    if (!bookmark) return std::unexpected(bookmark.error());
    auto map = readMap(fileURL_);
    if (!map) return std::unexpected(map.error());
    map->set(standardizedKey(folder), detail::base64Encode(*bookmark));
    return writeMap(fileURL_, *map);
}

std::expected<std::optional<ScopedFileAccess>, FileSystemError> FolderAccessStore::restoreAccess(
    const fs::path& folder) const {
    auto map = readMap(fileURL_);
    if (!map) return std::unexpected(map.error());
    const std::string key = standardizedKey(folder);
    const Json* entry = map->find(key);
    if (entry == nullptr) return std::optional<ScopedFileAccess>{};

    const std::optional<std::string> bytes = detail::base64Decode(*entry->string());
    if (!bytes) return std::unexpected(damaged(fileURL_));
    auto resolved = resolveBookmark(*bytes, fileURL_);
    if (!resolved) return std::unexpected(resolved.error());

    ScopedFileAccess access(resolved->location);
    auto identity = platform::fileIdentity(resolved->location);
    if (!identity || !identity->isDirectory) return std::unexpected(FileSystemError::missingFile(resolved->location));

    if (resolved->isStale) {
        auto fresh = createBookmark(resolved->location);
        if (!fresh) return std::unexpected(fresh.error());
        map->set(key, detail::base64Encode(*fresh));
        if (auto written = writeMap(fileURL_, *map); !written) return std::unexpected(written.error());
    }
    return std::optional<ScopedFileAccess>(std::move(access));
}

// ---------------------------------------------------------------- ExportFolderAccess

std::expected<void, FileSystemError> ExportFolderAccess::probeWritable(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) return std::unexpected(FileSystemError{FileSystemError::Operation::createFolder, folder, error});

    const fs::path probe = folder / (std::string(probePrefix) + settings::Uuid::random().text());
    if (auto makeError = platform::makeDirectory(probe, 0700))
        return std::unexpected(FileSystemError{FileSystemError::Operation::createFolder, probe, makeError});
    if (auto removeError = platform::removeDirectory(probe))
        return std::unexpected(FileSystemError{FileSystemError::Operation::remove, probe, removeError});
    return {};
}

bool ExportFolderAccess::needsChosenOutputFolder(const std::vector<fs::path>& dropped) {
    std::vector<std::string> folderPrefixes;
    std::vector<std::string> itemKeys;
    for (const fs::path& location : dropped) {
        std::error_code error;
        std::string key = records::pathKey(location);
        if (fs::is_directory(location, error)) {
            // Matching at a folder boundary only: /a/b must not contain /a/bc/x.jpg.
            if (!key.ends_with('/')) key += '/';
            folderPrefixes.push_back(std::move(key));
        } else {
            itemKeys.push_back(std::move(key));
        }
    }
    return std::any_of(itemKeys.begin(), itemKeys.end(), [&](const std::string& item) {
        return std::none_of(folderPrefixes.begin(), folderPrefixes.end(),
                            [&](const std::string& prefix) { return item.starts_with(prefix); });
    });
}

}  // namespace veltrop::storage
