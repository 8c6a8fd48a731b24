#pragma once
// Stamping a JPEG copy without a new generation of the whole picture: the
// original's coefficient blocks are kept, and only the MCUs under the
// stamp, its backing and shadow, the watermark and the data strip are
// drawn by the renderer and encoded again with the original's tables.

#include <expected>
#include <string>
#include <vector>

#include "kit/export/batch_processor.h"
#include "kit/export/export_failure.h"
#include "kit/image/geometry.h"
#include "kit/render/renderer.h"

namespace veltrop::exporting {

struct LosslessCopy {
    // The MCU-aligned areas of the copy that were encoded again, disjoint.
    std::vector<image::PixelRect> reencoded;
    bool operator==(const LosslessCopy&) const = default;
};

struct LosslessSkip {
    enum class Kind {
        notApplicable,  // nothing written: the normal path is to take the photo
        failed,         // the photo fails as the normal path would have failed it
    };
    Kind kind = Kind::notApplicable;
    std::string reason;                    // notApplicable: why the copy is encoded anew, for the user
    std::optional<ExportFailure> failure;  // failed
    bool operator==(const LosslessSkip&) const = default;
};

// The request the renderer gets for a plan, without its pixels.
render::RenderRequest renderRequest(const StampPlan& plan, const StampJob& job);

// Writes the plan's copy keeping the original's blocks where nothing is drawn.
[[nodiscard]] std::expected<LosslessCopy, LosslessSkip> stampLosslessly(const StampPlan& plan, const StampJob& job);

// Joins MCU-aligned covers of the areas until no two overlap or touch, so
// that every pixel is drawn exactly once.
std::vector<image::PixelRect> mcuCover(const std::vector<image::PixelRect>& areas, int mcuWidth, int mcuHeight,
                                        int width, int height);

}  // namespace veltrop::exporting
