#pragma once
// The date review's "Suggested corrections": the clock check of the batch,
// each proposal with its evidence and whether the batch already holds it,
// and the photos a sync shot can be picked from. Pure functions over values.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kit/records/discovered_photo.h"
#include "kit/records/clock_check.h"
#include "kit/records/date_correction.h"

namespace veltrop::app {

namespace clockTexts {
inline constexpr const char* title = "Suggested corrections";
inline constexpr const char* none =
    "No suggestions: no camera's GPS times or file times show a wrong clock. Pick a sync shot to compare two "
    "cameras.";
inline constexpr const char* apply = "Apply";
inline constexpr const char* applied = "Applied";
inline constexpr const char* syncTitle = "Sync shot";
inline constexpr const char* syncHelp =
    "Two photos of the same moment by two cameras: the second camera's clock is set to the first's.";
inline constexpr const char* choosePhoto = "Choose a photo\u2026";
}  // namespace clockTexts

struct ClockSuggestion {
    records::ClockProposal proposal;
    std::string heading;   // "Camera model: NIKON D3100 — shift −7 min 13 s"
    bool applied = false;  // the batch already holds this very rule
    bool operator==(const ClockSuggestion&) const = default;
};

struct ClockSuggestions {
    std::vector<ClockSuggestion> suggestions;  // the sync shot's last
    std::optional<std::string> syncProblem;    // why the chosen pair gives no suggestion
    bool operator==(const ClockSuggestions&) const = default;
};

ClockSuggestions clockSuggestions(const std::vector<records::DiscoveredPhoto>& photos,
                                  std::span<const records::DateCorrectionRule> corrections,
                                  const std::optional<records::SyncShot>& syncShot);

// Photos a sync shot can use (those with a DateTimeOriginal), in batch order.
struct SyncChoice {
    std::filesystem::path photo;
    std::string title;  // "IMG_0001.jpg · Canon EOS R5 · 2026-08-14 06:17:49"
    bool operator==(const SyncChoice&) const = default;
};
std::vector<SyncChoice> syncChoices(const std::vector<records::DiscoveredPhoto>& photos);

}  // namespace veltrop::app
