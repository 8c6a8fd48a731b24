#pragma once
// What became of a handover package's reports, kept with the batch summary.

#include <filesystem>
#include <optional>
#include <string>

namespace veltrop::handover {

struct HandoverPackageResult {
    std::filesystem::path root;
    std::optional<std::filesystem::path> index;
    std::optional<std::filesystem::path> contactSheet;
    std::optional<std::string> error;  // one line per missing report

    bool operator==(const HandoverPackageResult&) const = default;
};

}  // namespace veltrop::handover
