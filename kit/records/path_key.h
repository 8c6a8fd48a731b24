#pragma once
// The comparison form that decides whether two locations are the same file.

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace veltrop::records {

// Asked with an existing folder or file: does its volume tell names apart by
// letter case? Injected so that tests can stand in for volumes they cannot mount.
using CaseSensitivityQuery = std::function<bool(const std::filesystem::path&)>;

// Absolute and lexically normal, without a trailing separator.
std::filesystem::path standardized(const std::filesystem::path& location);

// Symbolic links resolved in the part that exists (the missing tail kept as
// written), in NFC, and case-folded unless that part's volume is case-sensitive.
std::string pathKey(const std::filesystem::path& location);
std::string pathKey(const std::filesystem::path& location, const CaseSensitivityQuery& isCaseSensitive);

// The key of a location whose links are already resolved, on a volume (or in
// a folder) that does or does not tell letter case apart: what pathKey gives
// for it, without asking the file system anything.
std::string pathKeyOfResolved(std::string_view resolvedPath, bool caseSensitive);

namespace detail {

struct ResolvedLocation {
    std::filesystem::path path;          // links resolved, missing tail re-appended
    std::filesystem::path existingPart;  // the deepest ancestor (or self) that was resolved
};
ResolvedLocation resolve(const std::filesystem::path& location);

}  // namespace detail

}  // namespace veltrop::records
