#pragma once
// The metadata segments of a stamped copy: the source's own segments in
// their order, changed only where the copy differs from its source.

#include <vector>

#include "kit/platform/exif_patch.h"
#include "kit/platform/metadata_blocks.h"

namespace veltrop::platform {

// The largest payload one JPEG segment holds.
inline constexpr std::size_t maximumSegmentPayload = 65533;

// What a copy of source carries, in the order it is written.
// From a JPEG source every application and comment segment is carried
// through byte for byte, except:
//  - EXIF: patched in place (orientation, pixel size, no thumbnail, GPS on
//    request, a corrected capture date on request: exif_dates.h); a source
//    without EXIF gets a block of its own for the date;
//  - XMP, extended XMP included: the same changes made to the packet text;
//  - JFIF: kept, without its thumbnail; JFIF extension thumbnails go;
//  - Photoshop resources: kept, without their thumbnails, and with a
//    corrected capture date in their IPTC dates on request (iptc_dates.h);
//  - ICC profile: kept only when it describes the written RGB pixels,
//    replaced by sRGB when the decoder converted the pixels into sRGB;
//  - the multi-picture index and the Adobe colour-transform segment go:
//    they describe images and an encoding the copy does not have.
// Other sources (HEIF) get segments made from their blocks; an EXIF or XMP
// block too large for one segment is fitted as described in the .cpp.
std::vector<MetadataSegment> segmentsForCopy(const MetadataBlocks& source, const CopyChanges& changes);

}  // namespace veltrop::platform
