#pragma once
// Everything reports and the review say about one input photo, plus project
// reference numbering and the expected date range.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kit/records/date_audit.h"
#include "kit/records/date_correction.h"
#include "kit/records/discovered_photo.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::records {

struct ExpectedDateRange {
    dates::CaptureDate start;
    dates::CaptureDate end;
    bool operator==(const ExpectedDateRange&) const = default;

    // First day at 00:00:00 to last day at 23:59:59, source suppliedDate.
    static ExpectedDateRange days(std::int64_t startYear, std::int64_t startMonth, std::int64_t startDay,
                                  std::int64_t endYear, std::int64_t endMonth, std::int64_t endDay);
};

bool isValid(const ExpectedDateRange& range);
bool contains(const ExpectedDateRange& range, const dates::CaptureDate& date);

inline constexpr std::string_view unknownCamera = "Unknown camera";

struct PhotoRecord {
    std::string sourceName;
    std::string sourcePath;  // relative, for reports
    std::string reference;
    std::string camera;
    std::string project;
    std::string location;
    std::optional<dates::CaptureDate> recordedDate;
    std::vector<PhotoDateCandidate> dateFields;
    std::optional<dates::CaptureDate> resolvedDate;
    std::string correction;
    std::vector<std::string> warnings;
    std::optional<DateResolutionError> error;

    bool operator==(const PhotoRecord&) const = default;
};

// "SITE-0042": prefix, hyphen, first number plus ordinal padded to four digits.
std::string reference(const settings::PhotoProject& project, std::int64_t ordinal);

PhotoRecord makeRecord(const DiscoveredPhoto& photo, std::int64_t fallbackOrdinal,
                       const settings::StampConfiguration& configuration,
                       std::span<const DateCorrectionRule> rules,
                       const std::optional<ExpectedDateRange>& expectedRange);
// The same with the rules prepared once for a whole batch.
PhotoRecord makeRecord(const records::DiscoveredPhoto& photo, std::int64_t fallbackOrdinal,
                       const settings::StampConfiguration& configuration, const CorrectionRules& rules,
                       const std::optional<ExpectedDateRange>& expectedRange);

// Sets the fields a record takes from the project (reference, title,
// location); nothing else in a record depends on the project.
void setProjectFields(PhotoRecord& record, const DiscoveredPhoto& photo, std::int64_t fallbackOrdinal,
                      const settings::PhotoProject& project);

// The data strip's project line: "R-0003  ·  DSC_1.jpg  ·  Site".
std::optional<std::string> stripLine(const settings::StampConfiguration& configuration, const PhotoRecord& record);
// The strip settings for this photo: the project title stands in for an empty label.
settings::DataStripConfig effectiveStrip(const settings::StampConfiguration& configuration, const PhotoRecord& record);

bool needsAttention(const PhotoRecord& record);

}  // namespace veltrop::records
