#pragma once
// The model's derived values and texts, as pure functions over a snapshot of
// its fields, so that they can be read and tested without the model.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/model/status_text.h"
#include "kit/records/date_correction.h"
#include "kit/records/discovered_photo.h"
#include "kit/records/photo_record.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::app {

// The two texts under "Output" in the settings pane.
struct OutputDescription {
    std::string label;
    std::string explanation;
    bool operator==(const OutputDescription&) const = default;
};

// The fields the derived values read. It refers to the model's own lists, so
// it is valid only until the model changes; take a new one for every question.
struct ModelSnapshot {
    std::span<const records::DiscoveredPhoto> photos;
    std::span<const std::filesystem::path> droppedRoots;
    const settings::StampConfiguration& configuration;
    std::span<const records::DateCorrectionRule> corrections;
    std::optional<records::ExpectedDateRange> expectedRange;  // when it is checked
    bool expectedRangeIsInverted = false;
    bool watermarkImageLoaded = false;
    bool hasOutputAccess = false;
    bool isRunning = false;
};

// The last component of a standardised location, or the whole of "/".
std::string lastComponent(const std::filesystem::path& location);
// Whether exports make a handover package.
bool packageIsOn(const settings::StampConfiguration& configuration);

// One record per photo, with the corrections and the expected range.
std::vector<records::PhotoRecord> photoRecords(const ModelSnapshot& model);
std::optional<records::PhotoRecord> photoRecord(const ModelSnapshot& model, const std::filesystem::path& photo);
std::size_t exportableCount(const ModelSnapshot& model);
// The same over records already built.
std::size_t exportableCount(const settings::StampConfiguration& configuration,
                            std::span<const records::PhotoRecord> records);
std::size_t needsAttentionCount(const ModelSnapshot& model);
std::size_t undatedCount(const ModelSnapshot& model);  // photos without a recorded capture date
std::optional<settings::ConfigurationProblem> configurationProblem(const ModelSnapshot& model);
// The characters of the pattern the retro display cannot show; empty when all can.
std::string retroUnsupportedCharacters(const ModelSnapshot& model);
// What the status line, the export button and its tooltip follow (status_text.h).
ExportFacts exportFacts(const ModelSnapshot& model);
ExportFacts exportFacts(const ModelSnapshot& model, std::size_t exportableCount);
std::string exportButtonTitle(const settings::StampConfiguration& configuration);
OutputDescription outputDescription(const ModelSnapshot& model);

}  // namespace veltrop::app
