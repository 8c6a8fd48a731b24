#pragma once
// What export and review share: how photos are found, the project, date
// corrections and expected dates, and what the corrections did to a batch.

#include <cstddef>
#include <expected>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>


#include "cli/arguments.h"
#include "kit/json/value.h"
#include "kit/records/discovered_photo.h"
#include "kit/records/date_correction.h"
#include "kit/records/photo_record.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::cli {

extern const std::vector<OptionSpec> recordOptionSpecs;
extern const std::string_view recordOptionsHelp;

// "YYYY-MM-DD HH:MM:SS", or "YYYY:MM:DD HH:MM:SS" as EXIF writes it; a
// date of the calendar, source suppliedDate.
std::optional<dates::CaptureDate> parseDateArgument(std::string_view text);

// One --shift or --supply, as typed and as a rule.
struct Correction {
    std::string option;
    std::string value;
    records::DateCorrectionRule rule;
};

struct RecordOptions {
    std::vector<Correction> corrections;  // in command-line order: later ones win
    std::optional<records::ExpectedDateRange> expectedRange;

    std::vector<records::DateCorrectionRule> rules() const;
};

// Applies --no-subfolders, --file-dates and the project options to the
// configuration and reads the corrections and --expect. Fails with a
// message for a usage error.
[[nodiscard]] std::expected<RecordOptions, std::string> readRecordOptions(const ParsedArguments& parsed,
                                                                          settings::StampConfiguration& configuration);

// The photos of the batch, in order and numbered, found below the given
// files and folders.
std::vector<records::DiscoveredPhoto> discoverPhotos(const std::vector<std::string>& paths, bool includeSubfolders,
                                                       const std::vector<std::filesystem::path>& excluded);

// Names every correction that reaches no photo and what the batch holds
// instead (its camera texts or folders); nullopt when each reaches some.
std::optional<std::string> unmatchedCorrections(const RecordOptions& options,
                                                const std::vector<records::DiscoveredPhoto>& photos);

// How many photos each correction changed, in order.
std::vector<std::size_t> correctionEffects(const RecordOptions& options,
                                           const std::vector<records::DiscoveredPhoto>& photos,
                                           const settings::StampConfiguration& configuration);
void printCorrectionEffects(std::ostream& out, const RecordOptions& options, const std::vector<std::size_t>& changed);
json::Value correctionEffectsJson(const RecordOptions& options, const std::vector<std::size_t>& changed);

// Lists the records outside the expected dates; true when there were any.
bool reportOutsideRange(std::ostream& err, const RecordOptions& options,
                        const std::vector<const records::PhotoRecord*>& records);

}  // namespace veltrop::cli
