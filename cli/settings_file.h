#pragma once
// Reading a settings file named on the command line, with a clear message
// for folders, special files and absurd sizes.

#include <expected>
#include <filesystem>
#include <string>

#include "kit/settings/stamp_configuration.h"

namespace veltrop::cli {

[[nodiscard]] std::expected<std::string, std::string> readSettingsFile(const std::filesystem::path& file);

// A configuration from a file holding either one configuration or a presets
// document (then its first preset).
[[nodiscard]] std::expected<settings::StampConfiguration, std::string> readConfigurationFile(
    const std::filesystem::path& file);

}  // namespace veltrop::cli
