#include "cli/settings_file.h"

#include "kit/platform/private_files.h"
#include "kit/settings/settings_json.h"

namespace veltrop::cli {

// Far more than any presets file; keeps a stray disk image from being slurped.
constexpr std::uintmax_t maximumFileSize = 64u << 20;

std::expected<std::string, std::string> readSettingsFile(const std::filesystem::path& file) {
    const std::string quoted = "\u201C" + file.string() + "\u201D";
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (error) return std::unexpected("Cannot read " + quoted + ": " + error.message());
    if (std::filesystem::is_directory(status)) return std::unexpected("Cannot read " + quoted + ": it is a folder");
    if (!std::filesystem::is_regular_file(status))
        return std::unexpected("Cannot read " + quoted + ": it is not a regular file");
    const auto size = std::filesystem::file_size(file, error);
    if (error) return std::unexpected("Cannot read " + quoted + ": " + error.message());
    if (size > maximumFileSize) return std::unexpected("Cannot read " + quoted + ": the file is too large");

    // Checked again on the open file: a FIFO put in its place meanwhile must not block.
    auto contents = platform::readWholeFile(file);
    if (!contents) {
        if (contents.error() == std::errc::invalid_argument)
            return std::unexpected("Cannot read " + quoted + ": it is not a regular file");
        return std::unexpected("Cannot read " + quoted + ": " + contents.error().message());
    }
    if (contents->size() > maximumFileSize) return std::unexpected("Cannot read " + quoted + ": the file is too large");
    return std::move(*contents);
}

std::expected<settings::StampConfiguration, std::string> readConfigurationFile(const std::filesystem::path& file) {
    auto text = readSettingsFile(file);
    if (!text) return std::unexpected(text.error());
    if (settings::looksLikePresetDocument(*text)) {
        auto document = settings::decodePresetDocument(*text);
        if (!document) return std::unexpected(document.error().description());
        if (document->presets.empty()) return std::unexpected("The presets file holds no preset");
        return document->presets.front().configuration;
    }
    auto configuration = settings::decodeStampConfiguration(*text);
    if (!configuration) return std::unexpected(configuration.error().description());
    return *configuration;
}

}  // namespace veltrop::cli
