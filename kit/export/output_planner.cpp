#include "kit/export/output_planner.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <utility>

#include "kit/dates/text.h"
#include "kit/platform/unicode.h"
#include "kit/platform/volume.h"

namespace veltrop::exporting {

namespace fs = std::filesystem;

namespace {

std::string_view trimmedSpacesAndTabs(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string decimal(const char* format, std::int64_t a, std::int64_t b, std::int64_t c) {
    std::array<char, 80> buffer{};
    std::snprintf(buffer.data(), buffer.size(), format, a, b, c);
    return buffer.data();
}

// Includes broken symbolic links; an item that cannot be queried counts as
// absent so that numbering always ends, and the write reports the problem.
bool itemExists(const fs::path& location) {
    std::error_code error;
    return fs::exists(fs::symlink_status(location, error));
}

std::string containmentForm(const fs::path& location) {
    return platform::nfc(detail::resolve(location).path.string());
}

}  // namespace

std::string OutputError::description() const {
    switch (kind) {
        case Kind::wouldOverwriteSource:
            return "Refusing to write over the original photo at " + location.string();
        case Kind::invalidPath:
            return "Use a filename or subfolders within the output folder, without '..' or an absolute path";
        case Kind::missingCaptureDate:
            return "The filename template needs a capture date";
    }
    return {};
}

std::string cleanedValue(std::string_view value) {
    std::string replaced(value);
    for (char& c : replaced)
        if (c == '/' || c == ':' || c == '\0') c = '-';
    std::string result;
    result.reserve(replaced.size());
    for (std::size_t i = 0; i < replaced.size(); ++i) {
        if (replaced[i] == '.' && i + 1 < replaced.size() && replaced[i + 1] == '.') {
            ++i;
            continue;
        }
        result += replaced[i];
    }
    return std::string(trimmedSpacesAndTabs(result));
}

std::string fileStem(std::string_view templateText, std::string_view sourceName,
                     const std::optional<dates::CaptureDate>& date, std::string_view reference,
                     std::string_view projectTitle) {
    const std::string name = cleanedValue(sourceName);
    std::array<std::optional<std::string>, settings::OutputNaming::tokens.size()> values{
        name, std::nullopt, std::nullopt, std::nullopt, cleanedValue(reference), cleanedValue(projectTitle)};
    if (date) {
        const std::string day = decimal("%04" PRId64 "-%02" PRId64 "-%02" PRId64, date->year, date->month, date->day);
        const std::string time = decimal("%02" PRId64 "%02" PRId64 "%02" PRId64, date->hour, date->minute, date->second);
        values[1] = day;
        values[2] = time;
        values[3] = day + "_" + time;
    }

    std::string result;
    std::size_t position = 0;
    while (position < templateText.size()) {
        const std::string_view rest = templateText.substr(position);
        bool matched = false;
        for (std::size_t t = 0; t < settings::OutputNaming::tokens.size(); ++t) {
            const std::string_view token = settings::OutputNaming::tokens[t];
            if (!rest.starts_with(token)) continue;
            result += values[t] ? std::string_view(*values[t]) : token;
            position += token.size();
            matched = true;
            break;
        }
        if (!matched) result += templateText[position++];
    }
    const std::string_view stem = trimmedSpacesAndTabs(result);
    return stem.empty() ? name : std::string(stem);
}

OutputPlanner::OutputPlanner(const std::vector<fs::path>& sources)
    : OutputPlanner(sources, platform::isCaseSensitive) {}

OutputPlanner::OutputPlanner(const std::vector<fs::path>& sources, CaseSensitivityQuery isCaseSensitive)
    : isCaseSensitive_(std::move(isCaseSensitive)) {
    for (const fs::path& source : sources) {
        // A plain file's key follows from its folder's; links and missing
        // files take the full walk.
        std::error_code error;
        const bool plainFile = fs::symlink_status(source, error).type() == fs::file_type::regular;
        std::string sourceKey = plainFile && !error ? keyAndForm(standardized(source)).first : key(source);
        sourceURLs_.insert(sourceKey);
        sourceKeys_.emplace(source.native(), std::move(sourceKey));
    }
}

const OutputPlanner::Folder& OutputPlanner::folderFacts(const fs::path& standardizedFolder) {
    auto found = folders_.find(standardizedFolder.native());
    if (found != folders_.end()) return found->second;
    const detail::ResolvedLocation resolved = detail::resolve(standardizedFolder);
    return folders_
        .emplace(standardizedFolder.native(), Folder{resolved.path.native(), isCaseSensitive_(resolved.existingPart)})
        .first->second;
}

std::pair<std::string, std::string> OutputPlanner::keyAndForm(const fs::path& location) {
    // An existing item may be a link pointing elsewhere: resolved on its own.
    // Everything else sits in its folder as named.
    if (!itemExists(location) || fs::is_regular_file(fs::symlink_status(location))) {
        const Folder& facts = folderFacts(location.parent_path());
        std::string joined = facts.resolved;
        if (!joined.ends_with('/')) joined += '/';
        joined += location.filename().native();
        std::string form = platform::nfc(joined);
        std::string folded = facts.caseSensitive ? form : platform::caseFolded(joined);
        return {std::move(folded), std::move(form)};
    }
    return {key(location), containmentForm(location)};
}

const std::string& OutputPlanner::rootForm(const fs::path& outputRoot) {
    auto found = rootForms_.find(outputRoot.native());
    if (found != rootForms_.end()) return found->second;
    std::string form = containmentForm(outputRoot);
    if (!form.ends_with('/')) form += '/';
    return rootForms_.emplace(outputRoot.native(), std::move(form)).first->second;
}

std::expected<fs::path, OutputError> OutputPlanner::plan(const fs::path& outputRoot, const fs::path& source,
                                                         std::string_view relativeSubpath, std::string_view sourceName,
                                                         const std::optional<dates::CaptureDate>& date,
                                                         std::string_view reference, std::string_view projectTitle,
                                                         const settings::OutputNaming& naming) {
    if (!settings::isValidTemplate(naming.template_)) return std::unexpected(OutputError::invalidPath());
    if (!date && settings::templateRequiresCaptureDate(naming.template_))
        return std::unexpected(OutputError::missingCaptureDate());

    // Appended piece by piece: joining a text that starts with "/" would
    // replace the whole folder.
    fs::path folder = outputRoot;
    for (std::string_view piece : dates::splitDroppingEmpty(relativeSubpath, '/')) folder /= piece;

    const std::string stem = fileStem(naming.template_, sourceName, date, reference, projectTitle);
    const std::vector<std::string_view> pieces = dates::splitDroppingEmpty(stem, '/');
    // A stem of slashes alone has no name in it.
    const std::string_view base = pieces.empty() ? std::string_view(stem) : pieces.back();
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) folder /= pieces[i];
    if (base.empty() || base == "." || base == ".." || base.find('/') != std::string_view::npos)
        return std::unexpected(OutputError::invalidPath());

    const fs::path placedFolder = standardized(folder);
    const auto candidateNamed = [&placedFolder](const std::string& fileName) {
        return placedFolder / (fileName + ".jpg");
    };
    fs::path candidate = candidateNamed(std::string(base));

    // Compared without case folding: the root and the candidate may sit on
    // volumes that fold differently, and the candidate keeps the root's spelling.
    auto [candidateKey, candidateForm] = keyAndForm(candidate);
    if (!candidateForm.starts_with(rootForm(outputRoot))) return std::unexpected(OutputError::invalidPath());

    if (!source.empty()) {
        const auto known = sourceKeys_.find(source.native());
        if (sourceURLs_.contains(candidateKey) ||
            candidateKey == (known != sourceKeys_.end() ? known->second : key(source)))
            return std::unexpected(OutputError::wouldOverwriteSource(candidate));
    } else if (sourceURLs_.contains(candidateKey)) {
        return std::unexpected(OutputError::wouldOverwriteSource(candidate));
    }

    std::int64_t& next = nextNumber_[candidateKey];
    std::int64_t n = std::max<std::int64_t>(next, 1);
    const auto numbered = [&](std::int64_t number) {
        candidate = number == 1 ? candidateNamed(std::string(base))
                                : candidateNamed(std::string(base) + "-" + std::to_string(number));
        candidateKey = keyAndForm(candidate).first;
    };
    if (n > 1) numbered(n);
    while (sourceURLs_.contains(candidateKey) || claimed_.contains(candidateKey) || itemExists(candidate))
        numbered(++n);
    next = n + 1;
    claimed_.insert(candidateKey);
    return candidate;
}

}  // namespace veltrop::exporting
