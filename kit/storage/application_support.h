#pragma once
// Where the application keeps its private files: the per-user data folder
// ($XDG_DATA_HOME, else ~/.local/share), then "Veltrop".

#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "kit/storage/file_system_error.h"

namespace veltrop::storage {

// Reads one environment variable; injected so that tests need not change the process's environment.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

std::optional<std::string> processEnvironment(const char* name);

// The per-user data folder, created with its parents when missing. A relative
// XDG_DATA_HOME is ignored, as the XDG rules ask. Fails when neither variable
// gives an absolute folder or the folder cannot be created.
[[nodiscard]] std::expected<std::filesystem::path, FileSystemError> applicationSupportFolder(
    const EnvironmentLookup& environment = processEnvironment);

// applicationSupportFolder() / "Veltrop"; the folder itself is created only when a store writes.
[[nodiscard]] std::expected<std::filesystem::path, FileSystemError> veltropFolder(
    const EnvironmentLookup& environment = processEnvironment);

}  // namespace veltrop::storage
