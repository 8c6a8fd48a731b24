#include "kit/records/photo_record.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "kit/dates/exif_fields.h"

namespace veltrop::records {

using dates::CaptureDateSource;

ExpectedDateRange ExpectedDateRange::days(std::int64_t startYear, std::int64_t startMonth, std::int64_t startDay,
                                          std::int64_t endYear, std::int64_t endMonth, std::int64_t endDay) {
    return {{startYear, startMonth, startDay, 0, 0, 0, CaptureDateSource::suppliedDate},
            {endYear, endMonth, endDay, 23, 59, 59, CaptureDateSource::suppliedDate}};
}

bool isValid(const ExpectedDateRange& range) { return dates::text(range.start) <= dates::text(range.end); }

bool contains(const ExpectedDateRange& range, const dates::CaptureDate& date) {
    const std::string value = dates::text(date);
    return dates::text(range.start) <= value && value <= dates::text(range.end);
}

std::string reference(const settings::PhotoProject& project, std::int64_t ordinal) {
    constexpr std::int64_t largestFirst = 999999;
    constexpr std::int64_t largestOrdinal = std::numeric_limits<std::int64_t>::max() - largestFirst;
    const std::string prefix = dates::trimmed(project.referencePrefix);
    const std::int64_t first = std::clamp<std::int64_t>(project.firstNumber, 1, largestFirst);
    const std::int64_t number = first + std::clamp<std::int64_t>(ordinal, 0, largestOrdinal);
    char digits[32];
    std::snprintf(digits, sizeof digits, "%04lld", static_cast<long long>(number));
    return prefix.empty() ? std::string(digits) : prefix + "-" + digits;
}

PhotoRecord makeRecord(const DiscoveredPhoto& photo, std::int64_t fallbackOrdinal,
                       const settings::StampConfiguration& configuration,
                       std::span<const DateCorrectionRule> rules,
                       const std::optional<ExpectedDateRange>& expectedRange) {
    return makeRecord(photo, fallbackOrdinal, configuration, CorrectionRules(rules), expectedRange);
}

PhotoRecord makeRecord(const records::DiscoveredPhoto& photo, std::int64_t fallbackOrdinal,
                       const settings::StampConfiguration& configuration, const CorrectionRules& rules,
                       const std::optional<ExpectedDateRange>& expectedRange) {
    const DateResolution resolution = resolveDate(photo, configuration, rules);
    const settings::PhotoProject& project = settings::effectiveProject(configuration);

    PhotoRecord record;
    if (!photo.captureDate) record.warnings.emplace_back(warnings::noRecordedDate);
    if (hasInvalidDate(photo.dateAudit)) record.warnings.emplace_back(warnings::invalidMetadata);
    if (datesDiffer(photo.dateAudit)) record.warnings.emplace_back(warnings::datesDiffer);
    if (resolution.base) {
        switch (resolution.base->source) {
            case CaptureDateSource::dateTimeDigitized: record.warnings.emplace_back(warnings::usingDigitised); break;
            case CaptureDateSource::tiffDateTime: record.warnings.emplace_back(warnings::usingTiff); break;
            case CaptureDateSource::fileDate: record.warnings.emplace_back(warnings::usingFileDate); break;
            default: break;
        }
    }
    if (expectedRange && resolution.resolved && !contains(*expectedRange, *resolution.resolved))
        record.warnings.emplace_back(warnings::outsideRange);

    record.sourceName = photo.url.filename().string();
    std::string path;
    for (const std::string& piece : {photo.rootIsFolder() ? photo.root.filename().string() : std::string(),
                                     photo.relativeSubpath, record.sourceName}) {
        if (piece.empty()) continue;
        if (!path.empty()) path += "/";
        path += piece;
    }
    record.sourcePath = path;
    setProjectFields(record, photo, fallbackOrdinal, project);
    record.camera = dates::cameraText(photo.exif).value_or(std::string(unknownCamera));
    record.recordedDate = photo.captureDate;
    record.dateFields = photo.dateAudit.candidates;
    record.resolvedDate = resolution.resolved;
    record.correction = resolution.matchedRule ? text(*resolution.matchedRule) : std::string();
    record.error = resolution.error;
    return record;
}

void setProjectFields(PhotoRecord& record, const DiscoveredPhoto& photo, std::int64_t fallbackOrdinal,
                      const settings::PhotoProject& project) {
    record.reference = reference(project, photo.batchOrdinal.value_or(fallbackOrdinal));
    record.project = project.title;
    record.location = project.location;
}

std::optional<std::string> stripLine(const settings::StampConfiguration& configuration, const PhotoRecord& record) {
    if (!configuration.project || !configuration.project->showInStrip) return std::nullopt;
    std::string line;
    for (const std::string* piece : {&record.reference, &record.sourceName, &record.location}) {
        if (piece->empty()) continue;
        if (!line.empty()) line += "  \u00b7  ";
        line += *piece;
    }
    return line;
}

settings::DataStripConfig effectiveStrip(const settings::StampConfiguration& configuration,
                                         const PhotoRecord& record) {
    settings::DataStripConfig strip = configuration.strip;
    if (configuration.project && configuration.project->showInStrip && strip.label.empty())
        strip.label = record.project;
    return strip;
}

bool needsAttention(const PhotoRecord& record) {
    if (record.error || !record.resolvedDate) return true;
    if (std::find(record.warnings.begin(), record.warnings.end(), warnings::outsideRange) != record.warnings.end())
        return true;
    if (!record.correction.empty()) return false;
    return !record.warnings.empty();
}

}  // namespace veltrop::records
