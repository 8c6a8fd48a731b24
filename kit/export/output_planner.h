#pragma once
// File names of stamped copies and their safe, unique destinations.

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "kit/dates/capture_date.h"
#include "kit/export/path_key.h"
#include "kit/settings/configuration_members.h"

namespace veltrop::exporting {

struct OutputError {
    enum class Kind { wouldOverwriteSource, invalidPath, missingCaptureDate, hiddenName };

    Kind kind = Kind::invalidPath;
    std::filesystem::path location;  // wouldOverwriteSource: the planned location

    static OutputError wouldOverwriteSource(std::filesystem::path planned) {
        return {Kind::wouldOverwriteSource, std::move(planned)};
    }
    static OutputError invalidPath() { return {Kind::invalidPath, {}}; }
    static OutputError missingCaptureDate() { return {Kind::missingCaptureDate, {}}; }
    static OutputError hiddenName() { return {Kind::hiddenName, {}}; }

    std::string description() const;
    bool operator==(const OutputError&) const = default;
};

// A token value made safe for a file name: "/", ":" and NUL become "-",
// ".." disappears, spaces and tabs at the ends go.
std::string cleanedValue(std::string_view value);

// The template with its tokens replaced; a date token stays literal without a
// date. Falls back to the cleaned source name when nothing is left. Bytes
// that are not UTF-8 become U+FFFD.
std::string fileStem(std::string_view templateText, std::string_view sourceName,
                     const std::optional<dates::CaptureDate>& date, std::string_view reference,
                     std::string_view projectTitle);

// Hands out one destination per photo of a batch, in input order, never an
// input photo, an existing item or a location handed out before.
class OutputPlanner {
public:
    explicit OutputPlanner(const std::vector<std::filesystem::path>& sources);
    OutputPlanner(const std::vector<std::filesystem::path>& sources, CaseSensitivityQuery isCaseSensitive);

    const std::unordered_set<std::string>& sourceURLs() const { return sourceURLs_; }
    const std::unordered_set<std::string>& claimed() const { return claimed_; }

    // The path key as this planner computes it.
    std::string key(const std::filesystem::path& location) const { return pathKey(location, isCaseSensitive_); }

    [[nodiscard]] std::expected<std::filesystem::path, OutputError> plan(
        const std::filesystem::path& outputRoot, const std::filesystem::path& source, std::string_view relativeSubpath,
        std::string_view sourceName, const std::optional<dates::CaptureDate>& date, std::string_view reference,
        std::string_view projectTitle, const settings::OutputNaming& naming);

private:
    CaseSensitivityQuery isCaseSensitive_;
    std::unordered_set<std::string> sourceURLs_;
    std::unordered_set<std::string> claimed_;
};

}  // namespace veltrop::exporting
