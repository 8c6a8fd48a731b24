#include "kit/records/copy_date.h"

#include "kit/records/clock_check.h"

namespace veltrop::records {

std::optional<platform::CopyDate> copyDate(const DiscoveredPhoto& photo, const DateResolution& resolution,
                                           const settings::StampConfiguration& configuration) {
    if (!configuration.writeCorrectedDates || !resolution.matchedRule || !resolution.resolved) return std::nullopt;
    const DateCorrectionRule& rule = *resolution.matchedRule;
    const dates::CaptureDate& resolved = *resolution.resolved;
    const std::int64_t moved = rule.suppliedDate ? 0 : rule.offsetSeconds;

    platform::CopyDate copy{resolved, zoneByGpsTime(photo.clock, resolved)};
    if (!copy.offsetSeconds && !rule.suppliedDate) copy.offsetSeconds = photo.clock.offsetSeconds;
    const auto stillBelongs = [&](dates::CaptureDateSource source) {
        for (const PhotoDateCandidate& candidate : photo.dateAudit.candidates) {
            if (candidate.source != source) continue;
            const auto recorded = date(candidate);
            const auto now = recorded ? shifted(*recorded, moved) : std::nullopt;
            return now && dates::text(*now) == dates::text(resolved);
        }
        return false;
    };
    copy.keepSubSecondOriginal = stillBelongs(dates::CaptureDateSource::dateTimeOriginal);
    copy.keepSubSecondDigitized = stillBelongs(dates::CaptureDateSource::dateTimeDigitized);
    return copy;
}

}  // namespace veltrop::records
