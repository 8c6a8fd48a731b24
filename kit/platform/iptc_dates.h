#pragma once
// The IPTC dates that mirror a copy's capture date: DateCreated and
// TimeCreated (2:55, 2:60) for DateTimeOriginal, DigitalCreationDate and
// DigitalCreationTime (2:62, 2:63) for CreateDate. They are overwritten in
// place where stored in their standard lengths (CCYYMMDD, HHMMSS±HHMM) and
// never added. A time keeps its zone unless the new date's zone is known:
// the zone is part of the stored form and cannot be left out.

#include <cstdint>
#include <span>
#include <vector>

#include "kit/platform/exif_patch.h"

namespace veltrop::platform {

// In IPTC-IIM records; true when something changed.
bool setIptcDates(std::span<std::uint8_t> records, const CopyDate& date);

// In the IPTC resource (0x0404) of Photoshop image resources.
bool setIptcDatesInResources(std::vector<std::uint8_t>& resources, const CopyDate& date);

}  // namespace veltrop::platform
