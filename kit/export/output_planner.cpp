#include "kit/export/output_planner.h"

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

OutputPlanner::OutputPlanner(const std::vector<fs::path>& sources, CaseSensitivityQuery isCaseSensitive)
    : isCaseSensitive_(std::move(isCaseSensitive)) {
    for (const fs::path& source : sources) sourceURLs_.insert(key(source));
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

    const auto candidateNamed = [&folder](const std::string& fileName) {
        return standardized(folder / (fileName + ".jpg"));
    };
    fs::path candidate = candidateNamed(std::string(base));

    // Compared without case folding: the root and the candidate may sit on
    // volumes that fold differently, and the candidate keeps the root's spelling.
    std::string rootForm = containmentForm(outputRoot);
    if (!rootForm.ends_with('/')) rootForm += '/';
    if (!containmentForm(candidate).starts_with(rootForm)) return std::unexpected(OutputError::invalidPath());

    std::string candidateKey = key(candidate);
    if (sourceURLs_.contains(candidateKey) || (!source.empty() && candidateKey == key(source)))
        return std::unexpected(OutputError::wouldOverwriteSource(candidate));

    for (std::int64_t n = 2; sourceURLs_.contains(candidateKey) || claimed_.contains(candidateKey) ||
                             itemExists(candidate);
         ++n) {
        candidate = candidateNamed(std::string(base) + "-" + std::to_string(n));
        candidateKey = key(candidate);
    }
    claimed_.insert(candidateKey);
    return candidate;
}

}  // namespace veltrop::exporting
