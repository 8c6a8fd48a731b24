#pragma once
// Writing a copy's capture date into its EXIF block without moving anything.
//
// DateTimeOriginal and CreateDate (and OffsetTimeOriginal when the zone is
// known) are overwritten where the block stores them as text long enough to
// hold the value, in IFD0 as well as in the Exif IFD. A tag that is missing,
// or stored in a way that cannot hold the value, is added: the Exif IFD is
// written anew after the block's last byte with the old entries plus the new
// ones, and its pointer in IFD0 is set to it (IFD0 likewise, when it points
// to no Exif IFD). Every value stays where it was, so offsets that only
// their maker understands stay valid. The old tables are zeroed.
// OffsetTimeDigitized is overwritten where present when the zone is known,
// since CreateDate now holds the same reading; SubSecTimeOriginal and
// SubSecTimeDigitized that no longer belong to their date are removed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kit/platform/exif_patch.h"
#include "kit/platform/tiff_ifd.h"

namespace veltrop::platform {

// "2026:08:14 06:17:49"
std::string exifDateText(const dates::CaptureDate& date);
// "+02:00", "-04:30"
std::string offsetText(std::int64_t seconds);
// "2026-08-14T06:17:49", followed by the offset when there is one.
std::string xmpDateText(const dates::CaptureDate& date, std::optional<std::int64_t> offsetSeconds);

// A block holding only an empty IFD0, for a source without EXIF; the date
// is then written into it like into any other.
std::vector<std::uint8_t> emptyExif();

// Sets the date in a block whose other changes are made. kept holds the
// ranges that something in the block refers to; the new tables and values
// are added to it. Returns the ranges that no longer hold anything, for the
// caller to zero where nothing kept overlaps them. The block grows only as
// far as limit allows, using zeroed space at its end before growing; tags
// that cannot be added then are left out.
std::vector<tiff::Range> writeCopyDate(tiff::Block& block, const CopyDate& date, std::size_t limit,
                                       std::vector<tiff::Range>& kept);

}  // namespace veltrop::platform
