#pragma once
// The status line under the photos and the reason an export cannot start,
// composed from a few facts about the batch and the configuration, so that
// the line, the export button's tooltip and its enabled state always agree.

#include <cstddef>
#include <optional>
#include <string>

#include "kit/settings/stamp_configuration.h"

namespace veltrop::app {

namespace statusTexts {
inline constexpr const char* addPhotos = "Add photos to begin";
inline constexpr const char* running = "An export is running";
inline constexpr const char* rangeInverted = "The project end date must be after its start date";
inline constexpr const char* noUsableDates = "No photos with a usable capture date";
}  // namespace statusTexts

struct ExportFacts {
    bool isRunning = false;
    std::size_t photoCount = 0;
    std::size_t exportableCount = 0;
    std::optional<settings::ConfigurationProblem> configurationProblem;
    std::string retroUnsupportedCharacters;  // empty when the retro display can show the pattern
    bool rangeInverted = false;
    bool operator==(const ExportFacts&) const = default;
};

// "The retro display cannot show “…”. Choose a numeric format."
std::string retroWarningText(const std::string& characters);

// Why an export cannot start, the first cause in the order the status line
// names them; none when it can start.
std::optional<std::string> exportBlockedReason(const ExportFacts& facts);

// The blocking reason, or "Will stamp N photos, skipping K".
std::string statusText(const ExportFacts& facts);

}  // namespace veltrop::app
