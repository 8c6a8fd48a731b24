#include "kit/export/output_planner.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <utility>

#include "kit/dates/text.h"
#include "kit/platform/unicode.h"
#include "kit/platform/utf8_text.h"
#include "kit/platform/volume.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::exporting {

namespace fs = std::filesystem;

namespace {

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
    return platform::nfc(records::detail::resolve(location).path.string());
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
        case Kind::hiddenName:
            return std::string(settings::description(settings::ConfigurationProblem::hiddenFilename));
    }
    return {};
}

std::string cleanedValue(std::string_view value) { return settings::cleanedNameValue(value); }

std::string fileStem(std::string_view templateText, std::string_view sourceName,
                     const std::optional<dates::CaptureDate>& date, std::string_view reference,
                     std::string_view projectTitle) {
    const std::string name = cleanedValue(sourceName);
    settings::NameTokenValues values{name,         std::nullopt, std::nullopt, std::nullopt, cleanedValue(reference),
                                     cleanedValue(projectTitle)};
    if (date) {
        const std::string day = decimal("%04" PRId64 "-%02" PRId64 "-%02" PRId64, date->year, date->month, date->day);
        const std::string time = decimal("%02" PRId64 "%02" PRId64 "%02" PRId64, date->hour, date->minute, date->second);
        values[1] = day;
        values[2] = time;
        values[3] = day + "_" + time;
    }
    const std::string stem = settings::renderNameTemplate(templateText, values);
    // A name that is not UTF-8 could not be listed as written (the photo
    // index and the windows show UTF-8): the copy gets the listed name.
    return platform::validUtf8(stem.empty() ? name : stem);
}

OutputPlanner::OutputPlanner(const std::vector<fs::path>& sources)
    : OutputPlanner(sources, platform::isCaseSensitive) {}

OutputPlanner::OutputPlanner(const std::vector<fs::path>& sources, records::CaseSensitivityQuery isCaseSensitive)
    : isCaseSensitive_(std::move(isCaseSensitive)) {
    for (const fs::path& source : sources) {
        // A plain file's key follows from its folder's; links and missing
        // files take the full walk.
        std::error_code error;
        const bool plainFile = fs::symlink_status(source, error).type() == fs::file_type::regular;
        std::string sourceKey = plainFile && !error ? keyAndForm(records::standardized(source)).first : key(source);
        sourceURLs_.insert(sourceKey);
        sourceKeys_.emplace(source.native(), std::move(sourceKey));
    }
}

const OutputPlanner::Folder& OutputPlanner::folderFacts(const fs::path& standardizedFolder) {
    auto found = folders_.find(standardizedFolder.native());
    if (found != folders_.end()) return found->second;
    const records::detail::ResolvedLocation resolved = records::detail::resolve(standardizedFolder);
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
    for (std::string_view piece : dates::splitDroppingEmpty(relativeSubpath, '/')) folder /= platform::validUtf8(piece);

    const std::string stem = fileStem(naming.template_, sourceName, date, reference, projectTitle);
    const std::vector<std::string_view> pieces = dates::splitDroppingEmpty(stem, '/');
    // A stem of slashes alone has no name in it.
    const std::string_view base = pieces.empty() ? std::string_view(stem) : pieces.back();
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) folder /= pieces[i];
    if (base.empty() || base == "." || base == ".." || base.find('/') != std::string_view::npos)
        return std::unexpected(OutputError::invalidPath());
    for (std::string_view piece : pieces)
        if (settings::isHiddenName(piece)) return std::unexpected(OutputError::hiddenName());

    const fs::path placedFolder = records::standardized(folder);
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
