#pragma once
// The raw date fields a photo records, kept exactly as stored, and the facts
// the review derives from them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/dates/capture_date.h"

namespace veltrop::records {

struct PhotoDateCandidate {
    dates::CaptureDateSource source = dates::CaptureDateSource::dateTimeOriginal;
    std::string raw;  // untrimmed, valid or not

    bool operator==(const PhotoDateCandidate&) const = default;
};

std::optional<dates::CaptureDate> date(const PhotoDateCandidate& candidate);

struct PhotoDateAudit {
    std::vector<PhotoDateCandidate> candidates;  // original, digitised, TIFF; text fields only

    bool operator==(const PhotoDateAudit&) const = default;

    static PhotoDateAudit fromProperties(const dates::PropertyDictionary& properties);
};

bool hasInvalidDate(const PhotoDateAudit& audit);
// Valid original and digitised dates that disagree; TIFF dates never count.
bool datesDiffer(const PhotoDateAudit& audit);

namespace warnings {
inline constexpr std::string_view noRecordedDate = "No recorded capture date";
inline constexpr std::string_view invalidMetadata = "Invalid date metadata";
inline constexpr std::string_view datesDiffer = "Capture and digitised dates differ";
inline constexpr std::string_view usingDigitised = "Using digitised date";
inline constexpr std::string_view usingTiff = "Using TIFF date; it may describe an edit";
inline constexpr std::string_view usingFileDate = "Using file date";
inline constexpr std::string_view outsideRange = "Outside expected project dates";
}  // namespace warnings

}  // namespace veltrop::records
