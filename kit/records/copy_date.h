#pragma once
// The capture date a copy records in its metadata when the configuration
// asks for corrected dates in the copies.

#include <optional>

#include "kit/platform/exif_patch.h"
#include "kit/records/date_correction.h"
#include "kit/records/discovered_photo.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::records {

// Set only when writeCorrectedDates is on and a correction rule gave the
// photo its date; a recorded or file date is never written.
// The zone is known when the photo's own GPS time tells it for the new date;
// else, for a clock shift, it is the zone the camera recorded
// (OffsetTimeOriginal), which a shift of its clock leaves standing. A
// supplied date has no zone of its own.
// A sub-second tag stays when its date tag's recorded reading, moved by the
// shift, is the new date: the fraction still belongs to it.
std::optional<platform::CopyDate> copyDate(const DiscoveredPhoto& photo, const DateResolution& resolution,
                                           const settings::StampConfiguration& configuration);

}  // namespace veltrop::records
