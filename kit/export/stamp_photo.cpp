#include "kit/export/batch_processor.h"

namespace veltrop::exporting {

FileOutcome stampPhoto(const StampPlan&, const StampJob&) {
    return FileOutcome::failed("Stamping is not available in this build");
}

}  // namespace veltrop::exporting
