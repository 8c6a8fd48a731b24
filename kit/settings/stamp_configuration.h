#pragma once
// Everything that says how a batch of copies is stamped and written.

#include <filesystem>
#include <optional>
#include <string_view>

#include "kit/settings/configuration_members.h"
#include "kit/settings/stamp_format.h"
#include "kit/settings/stamp_style.h"

namespace veltrop::settings {

inline constexpr std::string_view defaultOutputFolderName = "Timestamped";

struct StampConfiguration {
    StampFormat format = defaultFormat();
    StampStyle style;
    DataStripConfig strip;
    OutputNaming naming;
    std::optional<WatermarkConfig> watermark;
    bool timestampEnabled = true;
    std::optional<std::filesystem::path> outputRoot;
    bool includeSubfolders = true;
    bool removeGPS = false;
    bool useFileDateFallback = false;
    double jpegQuality = 0.95;
    std::optional<PhotoProject> project;
    // JPEG copies keep the original's coefficients outside the stamp when they can.
    bool keepOriginalQuality = false;
    // Copies whose date a correction rule gave record that date in their
    // EXIF (and mirroring XMP); otherwise they carry the source's dates.
    bool writeCorrectedDates = false;

    bool operator==(const StampConfiguration&) const = default;
};

const StampConfiguration& defaultConfiguration();

// Overlay mode, or a data strip that shows the timestamp, with the timestamp on.
bool drawsTimestamp(const StampConfiguration& configuration);
// Photos without a date can still be exported when this is false.
bool needsCaptureDate(const StampConfiguration& configuration);
// The configured project, or the default one.
const PhotoProject& effectiveProject(const StampConfiguration& configuration);

// Where the copies of a photo go: the output root, or "Timestamped" inside the
// import root (the root's own folder when the root is a file).
std::filesystem::path outputFolder(const StampConfiguration& configuration,
                                   const std::filesystem::path& importRoot, bool rootIsFolder);

enum class ConfigurationProblem {
    nothingToDraw,
    watermarkTextEmpty,
    watermarkImageMissing,
    timestampEmpty,
    invalidFilenameTemplate,
    hiddenFilename,  // the template, reference prefix or project title would hide the copies
};
std::string_view description(ConfigurationProblem problem);

// The first problem that would make an export pointless or impossible.
std::optional<ConfigurationProblem> validate(const StampConfiguration& configuration,
                                             bool watermarkImageAvailable);

}  // namespace veltrop::settings
