#pragma once
// Folder locations in the file URL form the stored configuration uses.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace veltrop::settings {

// outputRoot's written form, "file:///home/a/My%20Photos/"; nullopt for a
// location that is not absolute.
std::optional<std::string> folderFileUrl(const std::filesystem::path& folder);
// Accepts file:///path, file://localhost/path and file:/path; nullopt for
// anything else. Exactly one trailing slash is dropped, so the two functions
// round-trip every absolute location.
std::optional<std::filesystem::path> folderFromFileUrl(std::string_view url);

}  // namespace veltrop::settings
