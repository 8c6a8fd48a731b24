#include "kit/export/export_failure.h"

#include "kit/export/batch_processor.h"
#include "kit/export/memory_budget.h"

namespace veltrop::exporting {

namespace {

struct Describe {
    std::string operator()(settings::ConfigurationProblem problem) const {
        return std::string(settings::description(problem));
    }
    std::string operator()(records::DateResolutionError error) const {
        return std::string(records::description(error));
    }
    std::string operator()(const PixelLimitExceeded& limit) const { return pixelLimitText(limit.maximumPixelCount); }
    std::string operator()(const MemoryLimitExceeded& limit) const {
        return memoryLimitText(limit.fileName, limit.neededBytes, limit.budgetBytes);
    }
    std::string operator()(const InputRefused& refused) const { return refused.reason; }
    std::string operator()(const UnexpectedFailure& unexpected) const { return unexpected.message; }
    std::string operator()(const auto& error) const { return error.description(); }
};

}  // namespace

std::string description(const ExportFailure& failure) { return std::visit(Describe{}, failure); }

}  // namespace veltrop::exporting
