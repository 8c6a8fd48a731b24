#pragma once
// Changing an EXIF block (TIFF structure) in place. Values are overwritten
// and removed parts are unlinked and zeroed, but nothing moves: every offset
// in the block, maker notes' private ones included, stays valid.

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <vector>

#include "kit/dates/capture_date.h"

namespace veltrop::platform {

// The capture date a copy records in place of its source's.
struct CopyDate {
    dates::CaptureDate date;                    // for DateTimeOriginal and CreateDate
    std::optional<std::int64_t> offsetSeconds = std::nullopt;  // east of UTC, for OffsetTimeOriginal; when known
    // Whether the source's SubSecTimeOriginal and SubSecTimeDigitized still
    // belong to the new date; those that do not are removed.
    bool keepSubSecondOriginal = false;
    bool keepSubSecondDigitized = false;
    bool operator==(const CopyDate&) const = default;
};

// What a copy changes in the metadata it carries.
struct CopyChanges {
    int width = 0;  // of the encoded copy
    int height = 0;
    bool removeGPS = false;
    std::optional<CopyDate> date = std::nullopt;  // the source's dates stay when absent
    bool operator==(const CopyChanges&) const = default;
};

enum class ExifPatchFailure {
    notTiff,  // no byte-order mark, or IFD0 does not lie inside the block
    tangled,  // the GPS pointer cannot leave IFD0: other tables or values lie among IFD0's entries
};

struct PatchedExif {
    std::vector<std::uint8_t> tiff;  // same size as the source block
    // One past the last byte that anything kept refers to; the zeroed rest
    // may be cut off when space is short.
    std::size_t usedLength = 0;
    bool operator==(const PatchedExif&) const = default;
};

// The block (starting at its byte-order mark) with Orientation 1, the copy's
// pixel size where a size is stored (ImageWidth, ImageLength,
// PixelXDimension, PixelYDimension), IFD1 and its thumbnail unlinked and
// zeroed, and on request the GPS IFD unlinked and zeroed with its values
// and a new capture date (see exif_dates.h). Bytes that something kept also
// refers to are never zeroed.
[[nodiscard]] std::expected<PatchedExif, ExifPatchFailure> patchExif(std::span<const std::uint8_t> tiff,
                                                                     const CopyChanges& changes);

}  // namespace veltrop::platform
