#pragma once
// One input photo as discovery found it, with everything read from its
// metadata; later stages never read the metadata again.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "kit/dates/capture_date.h"
#include "kit/dates/clock_reading.h"
#include "kit/dates/exif_fields.h"
#include "kit/image/geometry.h"
#include "kit/records/date_audit.h"

namespace veltrop::records {

struct DiscoveredPhoto {
    std::filesystem::path url;    // standardised
    std::filesystem::path root;   // the dropped folder it was found under, or the file itself
    std::string relativeSubpath;  // "/"-separated folders between root and the photo's folder
    std::optional<dates::CaptureDate> captureDate;  // recorded date only, never the file date
    dates::ExifFields exif;
    image::Size pixelSize;
    image::Size displaySize;  // pixel size turned for orientations 5 to 8
    PhotoDateAudit dateAudit;
    dates::ClockReading clock;  // for the clock check
    std::optional<std::int64_t> batchOrdinal;

    bool operator==(const DiscoveredPhoto&) const = default;

    // A photo dropped on its own is its own root; every other root is a folder.
    bool rootIsFolder() const { return root != url; }
};

}  // namespace veltrop::records
