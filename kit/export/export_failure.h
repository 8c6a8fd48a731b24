#pragma once
// Why one photo was not exported: the error of the step that failed, kept as
// its own type so that callers can tell the kinds apart. description() makes
// the sentence shown to the user.

#include <cstdint>
#include <string>
#include <variant>

#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "kit/export/output_planner.h"
#include "kit/records/date_correction.h"
#include "kit/render/renderer.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::exporting {

// The photo has more pixels than this build may process.
struct PixelLimitExceeded {
    double maximumPixelCount = 0;
    bool operator==(const PixelLimitExceeded&) const = default;
};

// The photo would need more of the batch's memory than there is.
struct MemoryLimitExceeded {
    std::string fileName;
    std::uint64_t neededBytes = 0, budgetBytes = 0;
    bool operator==(const MemoryLimitExceeded&) const = default;
};

// Given to the batch but not a file that can be read as a photo (a FIFO, a device).
struct InputRefused {
    std::string reason;
    bool operator==(const InputRefused&) const = default;
};

// A step threw; the message is all there is to say.
struct UnexpectedFailure {
    std::string message;
    bool operator==(const UnexpectedFailure&) const = default;
};

using ExportFailure = std::variant<settings::ConfigurationProblem, records::DateResolutionError, OutputError,
                                   PixelLimitExceeded, MemoryLimitExceeded, InputRefused, ImageLoadError,
                                   render::RenderError, ImageWriteError, UnexpectedFailure>;

std::string description(const ExportFailure& failure);

}  // namespace veltrop::exporting
