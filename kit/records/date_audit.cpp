#include "kit/records/date_audit.h"

#include <set>

namespace veltrop::records {

using dates::CaptureDateSource;

std::optional<dates::CaptureDate> date(const PhotoDateCandidate& candidate) {
    return dates::CaptureDateReader::parseExifText(candidate.raw, candidate.source);
}

PhotoDateAudit PhotoDateAudit::fromProperties(const dates::PropertyDictionary& properties) {
    namespace keys = dates::keys;
    const auto& exif = dates::group(properties, keys::exif);
    const auto& tiff = dates::group(properties, keys::tiff);
    const std::pair<const dates::PropertyValue*, CaptureDateSource> fields[] = {
        {dates::find(exif, keys::dateTimeOriginal), CaptureDateSource::dateTimeOriginal},
        {dates::find(exif, keys::dateTimeDigitized), CaptureDateSource::dateTimeDigitized},
        {dates::find(tiff, keys::dateTime), CaptureDateSource::tiffDateTime},
    };
    PhotoDateAudit audit;
    for (const auto& [value, source] : fields)
        if (value != nullptr && value->string() != nullptr) audit.candidates.push_back({source, *value->string()});
    return audit;
}

bool hasInvalidDate(const PhotoDateAudit& audit) {
    for (const auto& candidate : audit.candidates)
        if (!date(candidate)) return true;
    return false;
}

bool datesDiffer(const PhotoDateAudit& audit) {
    std::set<std::string> distinct;
    for (const auto& candidate : audit.candidates) {
        if (candidate.source == CaptureDateSource::tiffDateTime) continue;
        if (auto parsed = date(candidate)) distinct.insert(dates::text(*parsed));
    }
    return distinct.size() > 1;
}

}  // namespace veltrop::records
