#pragma once
// The texts and rules of the date review, the photo list and the results
// sheet, as pure functions over records so windows only show them.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kit/export/batch_processor.h"
#include "kit/records/discovered_photo.h"
#include "kit/records/date_correction.h"
#include "kit/records/photo_record.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::app {

namespace reviewTexts {
inline constexpr const char* noDate = "No date";
inline constexpr const char* corrected = "Corrected";
inline constexpr const char* stillNoDate = "Still has no date";
inline constexpr const char* shiftNeedsDate =
    "A clock shift needs an existing date. Supply a date for these photos.";
inline constexpr const char* alreadyApplied =
    "This correction is already applied, or cannot resolve the selected dates.";
inline constexpr const char* noRecordedDate = "No recorded date";
inline constexpr const char* noCorrections = "No corrections";
inline constexpr const char* needAttentionSuffix = " need attention";
}  // namespace reviewTexts

// "EXIF capture date" … "User-supplied date", "Corrected" for a clock shift, or "No date".
std::string dateSourceText(const records::PhotoRecord& record);
// The recorded date, or "No date".
std::string recordedText(const records::PhotoRecord& record);
// "2024-05-14 09:30:15 · EXIF capture date", or "Still has no date".
std::string willUseText(const records::PhotoRecord& record);
// The warnings joined by "; ".
std::string notesText(const records::PhotoRecord& record);
// "Clock correction +1 d 2 h 30 min — All photos" or "2026-08-14 06:17:49 — Photo: a.jpg".
std::string appliedCorrectionText(const records::DateCorrectionRule& rule);
// "N photo(s) without a recorded capture date".
std::string undatedWarningText(std::size_t count);

// The earliest and the latest resolved date of a batch.
struct DateSpan {
    dates::CaptureDate first;
    dates::CaptureDate last;
    bool operator==(const DateSpan&) const = default;
};
// None when no photo has a resolved date.
std::optional<DateSpan> resolvedDateSpan(const std::vector<records::PhotoRecord>& records);

enum class ReviewFilter { allPhotos, needsAttention, corrected };
const char* filterTitle(ReviewFilter filter);
bool matches(ReviewFilter filter, const records::PhotoRecord& record);

struct ScopeChoice {
    std::string title;
    records::DateCorrectionScope scope;
    bool operator==(const ScopeChoice&) const = default;
};
// All photos, then the selected photo's camera model, folder and the photo itself.
std::vector<ScopeChoice> scopeChoices(const records::DiscoveredPhoto* selected);

// The correction form of the date review.
struct CorrectionForm {
    records::DateCorrectionScope scope;
    bool supplyDate = false;
    std::int64_t days = 0;
    std::int64_t hours = 0;
    std::int64_t minutes = 0;
    std::string suppliedText;
    bool operator==(const CorrectionForm&) const = default;
};

struct CorrectionAssessment {
    std::optional<records::DateCorrectionRule> rule;
    std::optional<std::string> problem;  // why no rule could be built
    std::optional<std::string> whatIf;   // the selected photo's outcome
    bool canApply = false;
    std::optional<std::string> disabledReason;
};

// The rules with every rule of the new rule's scope removed and the new one appended.
std::vector<records::DateCorrectionRule> withRule(std::span<const records::DateCorrectionRule> rules,
                                                  const records::DateCorrectionRule& rule);

// Builds the rule, tells what it would do to the selected photo and whether
// applying it changes any photo's resolved date.
CorrectionAssessment assessCorrection(const CorrectionForm& form, const std::vector<records::DiscoveredPhoto>& photos,
                                      const settings::StampConfiguration& configuration,
                                      std::span<const records::DateCorrectionRule> corrections,
                                      const std::optional<std::filesystem::path>& selection);

// ---- Results sheet
std::string resultsHeadline(const exporting::BatchSummary& summary);
// True for every headline but a clean "Export finished".
bool resultsAreWarning(const exporting::BatchSummary& summary);
// One failed input: its failure text, which names the file already, or "name — text".
std::string failureLine(const exporting::FileResult& result);
// The non-zero counts, in order: exported, skipped, failed, not processed.
std::vector<std::string> resultCountLines(const exporting::BatchSummary& summary);
bool hasUnfinished(const exporting::BatchSummary& summary);

}  // namespace veltrop::app
