#pragma once
// File names of stamped copies and their safe, unique destinations.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <unordered_set>
#include <vector>

#include "kit/dates/capture_date.h"
#include "kit/records/path_key.h"
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
    OutputPlanner(const std::vector<std::filesystem::path>& sources, records::CaseSensitivityQuery isCaseSensitive);

    const std::unordered_set<std::string>& sourceURLs() const { return sourceURLs_; }
    const std::unordered_set<std::string>& claimed() const { return claimed_; }

    // The path key as this planner computes it.
    std::string key(const std::filesystem::path& location) const { return records::pathKey(location, isCaseSensitive_); }

    [[nodiscard]] std::expected<std::filesystem::path, OutputError> plan(
        const std::filesystem::path& outputRoot, const std::filesystem::path& source, std::string_view relativeSubpath,
        std::string_view sourceName, const std::optional<dates::CaptureDate>& date, std::string_view reference,
        std::string_view projectTitle, const settings::OutputNaming& naming);

private:
    // A folder as its keys start: links resolved in the part that exists,
    // and whether that part tells letter case apart. Asked once per batch.
    struct Folder {
        std::string resolved;
        bool caseSensitive = true;
    };
    const Folder& folderFacts(const std::filesystem::path& standardizedFolder);
    // Key and case-preserving form of a location in that folder.
    std::pair<std::string, std::string> keyAndForm(const std::filesystem::path& location);
    const std::string& rootForm(const std::filesystem::path& outputRoot);

    records::CaseSensitivityQuery isCaseSensitive_;
    std::unordered_set<std::string> sourceURLs_;
    std::unordered_set<std::string> claimed_;
    std::unordered_map<std::string, std::string> sourceKeys_;  // as given → key
    std::unordered_map<std::string, Folder> folders_;
    std::unordered_map<std::string, std::string> rootForms_;
    // Key of a base name's first candidate → the number to try next (1: the
    // bare name). Taken names stay taken during planning, so each search
    // resumes where the last one for the same name stopped.
    std::unordered_map<std::string, std::int64_t> nextNumber_;
};

}  // namespace veltrop::exporting
