// Over 500 lines: the three kinds of clock evidence (GPS time, file times,
// sync shots) share the grouping, the outlier rules and the proposal texts.
#include "kit/records/clock_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "kit/dates/civil.h"
#include "kit/dates/exif_fields.h"
#include "kit/records/path_key.h"
#include "kit/records/photo_record.h"

namespace veltrop::records {

using records::DiscoveredPhoto;
namespace fs = std::filesystem;

namespace {

double wallSeconds(std::int64_t year, std::int64_t month, std::int64_t day) {
    return static_cast<double>(dates::daysFromCivil(year, month, day) * 86400);
}

// The camera's reading as seconds of a fixed UTC calendar, sub-second
// included: only DateTimeOriginal pairs with the zone and sub-second tags.
std::optional<double> cameraSeconds(const DiscoveredPhoto& photo) {
    const auto& date = photo.captureDate;
    if (!date || date->source != dates::CaptureDateSource::dateTimeOriginal || date->second == 60) return std::nullopt;
    return wallSeconds(date->year, date->month, date->day) +
           static_cast<double>(date->hour * 3600 + date->minute * 60 + date->second) +
           photo.clock.subSecond.value_or(0);
}

std::optional<double> fileSeconds(const DiscoveredPhoto& photo) {
    const auto& date = photo.clock.fileModified;
    if (!date) return std::nullopt;
    return wallSeconds(date->year, date->month, date->day) +
           static_cast<double>(date->hour * 3600 + date->minute * 60 + date->second);
}

std::int64_t longitudeZone(double longitude) { return std::llround(longitude / 15) * 3600; }

bool isPlaceholder(const dates::ClockReading& clock) {
    if (clock.gpsSecondOfDay) return *clock.gpsSecondOfDay == 0;
    return clock.gpsDay.has_value();
}

// Camera minus GPS time. A GPS time without a date takes the day that puts
// the difference nearest to the zone the photo suggests.
std::optional<double> differenceSeconds(const DiscoveredPhoto& photo, double camera) {
    const auto& clock = photo.clock;
    if (!clock.gpsSecondOfDay || isPlaceholder(clock)) return std::nullopt;
    if (clock.gpsDay)
        return camera -
               (wallSeconds(clock.gpsDay->year, clock.gpsDay->month, clock.gpsDay->day) + *clock.gpsSecondOfDay);
    const double expected =
        static_cast<double>(clock.offsetSeconds.value_or(clock.longitude ? longitudeZone(*clock.longitude) : 0));
    const double cameraDay = std::floor(camera / 86400) * 86400;
    std::optional<double> best;
    for (int day = -1; day <= 1; ++day) {
        const double difference = camera - (cameraDay + day * 86400.0 + *clock.gpsSecondOfDay);
        if (!best || std::abs(difference - expected) < std::abs(*best - expected)) best = difference;
    }
    return best;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::int64_t roundedZone(double difference) {
    return std::llround(difference / clockLimits::zoneStepSeconds) * clockLimits::zoneStepSeconds;
}

bool zoneInRange(std::int64_t zone) { return zone >= -12 * 3600 && zone <= 14 * 3600; }

// Whole and half hours, and the three zones that end in three quarters.
bool isUsualZone(std::int64_t zone) {
    return zone % 1800 == 0 || zone == 5 * 3600 + 2700 || zone == 8 * 3600 + 2700 || zone == 12 * 3600 + 2700;
}

struct Sample {
    std::size_t photo;  // index in the batch
    double camera;
    double difference;
    double error = 0;
    std::optional<std::int64_t> tag;
};

struct Group {
    std::optional<std::string> camera;
    std::optional<fs::path> folder;
    std::vector<std::size_t> members;
};

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// The GPS part of an estimate: samples, zone, outliers, lag, median.
void estimateFromGps(std::span<const DiscoveredPhoto> photos, const Group& group, ClockEstimate& estimate) {
    std::vector<Sample> samples;
    for (std::size_t index : group.members) {
        const DiscoveredPhoto& photo = photos[index];
        const auto camera = cameraSeconds(photo);
        if (isPlaceholder(photo.clock)) {
            ++estimate.placeholders;
            continue;
        }
        if (!camera) continue;
        if (auto difference = differenceSeconds(photo, *camera))
            samples.push_back({index, *camera, *difference, 0, photo.clock.offsetSeconds});
    }
    estimate.withGpsTime = samples.size();
    if (samples.empty()) return;

    // Photos without a zone tag share one zone, from their median difference.
    std::vector<double> untagged;
    std::map<std::int64_t, std::size_t> tagCounts;
    for (const Sample& sample : samples) {
        if (sample.tag)
            ++tagCounts[*sample.tag];
        else
            untagged.push_back(sample.difference);
    }
    std::optional<std::int64_t> sharedZone;
    if (!untagged.empty()) {
        sharedZone = roundedZone(median(untagged));
        if (!zoneInRange(*sharedZone)) {
            std::vector<double> longitudes;
            for (const Sample& sample : samples)
                if (photos[sample.photo].clock.longitude) longitudes.push_back(*photos[sample.photo].clock.longitude);
            sharedZone = longitudes.empty() ? 0 : longitudeZone(median(longitudes));
            estimate.notes.push_back(
                "The camera clock is off by more than any time zone explains; the zone was taken " +
                std::string(longitudes.empty() ? "to be UTC." : "from the longitude."));
        }
    }
    for (Sample& sample : samples)
        sample.error = sample.difference - static_cast<double>(sample.tag.value_or(sharedZone.value_or(0)));

    std::vector<double> errors;
    for (const Sample& sample : samples) errors.push_back(sample.error);
    const double center = median(errors);
    std::vector<Sample> close;
    for (const Sample& sample : samples) {
        if (std::abs(sample.error - center) > clockLimits::outlierSeconds)
            ++estimate.outliers;
        else
            close.push_back(sample);
    }

    // Capture order within each folder (a folder stands for one device); shots
    // of the same camera second in GPS order, so that rounding is not taken for lag.
    auto folderOf = [&](const Sample& sample) { return photos[sample.photo].url.parent_path(); };
    std::sort(close.begin(), close.end(), [&](const Sample& a, const Sample& b) {
        if (folderOf(a) != folderOf(b)) return folderOf(a) < folderOf(b);
        if (a.camera != b.camera) return a.camera < b.camera;
        if (a.difference != b.difference) return a.difference > b.difference;
        return a.photo < b.photo;
    });
    std::vector<Sample> kept;
    std::optional<double> lastKeptError;
    for (std::size_t i = 0; i < close.size(); ++i) {
        const Sample& sample = close[i];
        if (i > 0 && folderOf(sample) != folderOf(close[i - 1])) lastKeptError.reset();
        if (lastKeptError && sample.error - *lastKeptError > clockLimits::lagToleranceSeconds) {
            ++estimate.lagging;
        } else {
            kept.push_back(sample);
            lastKeptError = sample.error;
        }
    }

    errors.clear();
    std::vector<double> longitudes;
    std::map<std::int64_t, std::size_t> keptTags;
    for (const Sample& sample : kept) {
        errors.push_back(sample.error);
        if (const auto& longitude = photos[sample.photo].clock.longitude) longitudes.push_back(*longitude);
        if (sample.tag) ++keptTags[*sample.tag];
    }
    estimate.used = kept.size();
    estimate.clockErrorSeconds = median(errors);
    const auto [lowest, highest] = std::minmax_element(errors.begin(), errors.end());
    estimate.spreadSeconds = *highest - *lowest;

    if (!keptTags.empty()) {
        // The most common tag among the used photos; a trip across a zone
        // change or into summer time has several.
        const auto common = std::max_element(keptTags.begin(), keptTags.end(),
                                             [](const auto& a, const auto& b) { return a.second < b.second; });
        estimate.zoneSeconds = common->first;
        estimate.zoneFromOffsetTag = true;
        if (keptTags.size() > 1) estimate.notes.push_back("The photos record more than one time zone.");
    } else {
        estimate.zoneSeconds = sharedZone;
        if (!isUsualZone(*sharedZone))
            estimate.notes.push_back(zoneText(*sharedZone) +
                                     " is an unusual time zone: the clock may be off by more than 7\u00bd minutes, "
                                     "which cannot be told apart from the zone.");
    }

    if (!longitudes.empty()) {
        estimate.longitudeZoneSeconds = longitudeZone(median(longitudes));
        if (std::abs(*estimate.zoneSeconds - *estimate.longitudeZoneSeconds) >
            clockLimits::longitudeZoneToleranceSeconds)
            estimate.notes.push_back("The camera may be set to another time zone: its clock reads " +
                                     zoneText(*estimate.zoneSeconds) + ", but where the photos were taken " +
                                     "the longitude suggests about " + zoneText(*estimate.longitudeZoneSeconds) + ".");
    }
}

void estimateFromFileTimes(std::span<const DiscoveredPhoto> photos, const Group& group, ClockEstimate& estimate) {
    for (std::size_t index : group.members) {
        const auto camera = cameraSeconds(photos[index]);
        const auto file = fileSeconds(photos[index]);
        if (!camera || !file) continue;
        ++estimate.withFileTime;
        const auto gap = static_cast<std::int64_t>(std::floor(*camera - *file));
        if (gap <= clockLimits::fileTimeToleranceSeconds) continue;
        ++estimate.fileTimeWitnesses;
        estimate.aheadAtLeastSeconds = std::min(estimate.aheadAtLeastSeconds.value_or(gap), gap);
    }
}

DateCorrectionScope scopeOf(const Group& group) {
    if (group.folder) return DateCorrectionScope::folder(*group.folder);
    return DateCorrectionScope::camera(*group.camera);
}

ClockEstimate estimateGroup(std::span<const DiscoveredPhoto> photos, const Group& group) {
    ClockEstimate estimate;
    estimate.camera = group.camera.value_or(std::string(unknownCamera));
    estimate.folder = group.folder;
    estimate.scope = scopeOf(group);
    estimate.photos = group.members.size();
    estimateFromGps(photos, group, estimate);
    if (estimate.used == 0) estimateFromFileTimes(photos, group, estimate);
    return estimate;
}

// Folders of one camera text are one clock unless their GPS estimates disagree.
bool clocksAgree(const std::vector<ClockEstimate>& estimates) {
    const ClockEstimate* first = nullptr;
    for (const ClockEstimate& estimate : estimates) {
        if (!estimate.clockErrorSeconds) continue;
        if (first == nullptr) {
            first = &estimate;
            continue;
        }
        if (estimate.zoneSeconds != first->zoneSeconds ||
            std::abs(*estimate.clockErrorSeconds - *first->clockErrorSeconds) > clockLimits::sameClockSeconds)
            return false;
    }
    return true;
}

std::vector<Group> clockGroups(std::span<const DiscoveredPhoto> photos) {
    // By camera text, then by folder, each in order of first appearance.
    std::vector<Group> byCamera;
    std::map<std::string, std::size_t> cameraIndex;
    std::map<std::string, std::size_t> unknownIndex;  // by folder
    for (std::size_t i = 0; i < photos.size(); ++i) {
        const auto camera = dates::cameraText(photos[i].exif);
        const fs::path folder = photos[i].url.parent_path();
        auto& index = camera ? cameraIndex : unknownIndex;
        const std::string key = camera ? *camera : folder.string();
        auto [it, inserted] = index.try_emplace(key, byCamera.size());
        if (inserted) byCamera.push_back({camera, camera ? std::nullopt : std::optional(folder), {}});
        byCamera[it->second].members.push_back(i);
    }

    std::vector<Group> groups;
    for (Group& group : byCamera) {
        std::vector<Group> byFolder;
        std::map<fs::path, std::size_t> folderIndex;
        for (std::size_t member : group.members) {
            const fs::path folder = photos[member].url.parent_path();
            auto [it, inserted] = folderIndex.try_emplace(folder, byFolder.size());
            if (inserted) byFolder.push_back({group.camera, folder, {}});
            byFolder[it->second].members.push_back(member);
        }
        if (group.folder || byFolder.size() == 1) {
            groups.push_back(std::move(group));
            continue;
        }
        std::vector<ClockEstimate> estimates;
        for (const Group& part : byFolder) estimates.push_back(estimateGroup(photos, part));
        if (clocksAgree(estimates))
            groups.push_back(std::move(group));
        else
            groups.insert(groups.end(), byFolder.begin(), byFolder.end());
    }
    return groups;
}

// A folder scope also shifts other cameras' photos below the folder.
std::optional<std::string> otherCamerasNote(std::span<const DiscoveredPhoto> photos, const ClockEstimate& estimate) {
    if (estimate.scope.kind != DateCorrectionScope::Kind::folder) return std::nullopt;
    for (const DiscoveredPhoto& photo : photos) {
        if (!matches(estimate.scope, photo)) continue;
        if (dates::cameraText(photo.exif).value_or(std::string(unknownCamera)) != estimate.camera)
            return "The folder also holds photos by other cameras; the shift would apply to them too.";
    }
    return std::nullopt;
}

std::optional<ClockProposal> proposalFor(std::span<const DiscoveredPhoto> photos, const ClockEstimate& estimate) {
    ClockProposal proposal;
    std::int64_t shift = 0;
    if (estimate.clockErrorSeconds) {
        proposal.basis = ClockProposal::Basis::gpsTime;
        proposal.zoneSeconds = estimate.zoneSeconds;
        shift = -std::llround(*estimate.clockErrorSeconds);
        std::string left;
        if (estimate.lagging > 0) left += plural(estimate.lagging, "lagging GPS time", "lagging GPS times");
        if (estimate.outliers > 0)
            left += (left.empty() ? "" : " and ") + plural(estimate.outliers, "far-off GPS time", "far-off GPS times");
        char spread[32];
        std::snprintf(spread, sizeof spread, "%.1f s", estimate.spreadSeconds);
        proposal.evidence = "Set to " + zoneText(*estimate.zoneSeconds) +
                            (estimate.zoneFromOffsetTag ? " (its zone tag)" : "") + " and " +
                            durationText(*estimate.clockErrorSeconds) +
                            (*estimate.clockErrorSeconds > 0 ? " ahead" : " behind") + ": median of " +
                            plural(estimate.used, "photo", "photos") + " with GPS time, spread " + spread +
                            (left.empty() ? "" : "; " + left + " left out") + ".";
    } else if (estimate.aheadAtLeastSeconds && estimate.fileTimeWitnesses * 2 > estimate.withFileTime) {
        proposal.basis = ClockProposal::Basis::fileTimes;
        shift = -*estimate.aheadAtLeastSeconds;
        proposal.evidence = "The camera runs at least " +
                            durationText(static_cast<double>(*estimate.aheadAtLeastSeconds)) +
                            " ahead: " + std::to_string(estimate.fileTimeWitnesses) + " of " +
                            plural(estimate.withFileTime, "photo was", "photos were") +
                            " recorded as taken after their file was written.";
        proposal.notes.push_back(
            "A lower bound: the true error may be larger. It holds only if the files kept the times they were "
            "written on the memory card.");
    } else {
        return std::nullopt;
    }
    if (std::abs(shift) < clockLimits::minimumShiftSeconds || std::abs(shift) > maximumShiftSeconds)
        return std::nullopt;
    proposal.rule.scope = estimate.scope;
    proposal.rule.offsetSeconds = shift;
    proposal.shiftText = shiftText(proposal.rule);
    proposal.notes.insert(proposal.notes.begin(), estimate.notes.begin(), estimate.notes.end());
    if (auto note = otherCamerasNote(photos, estimate)) proposal.notes.push_back(*note);
    return proposal;
}

const DiscoveredPhoto* findPhoto(std::span<const DiscoveredPhoto> photos, const fs::path& location) {
    const fs::path wanted = records::standardized(location);
    for (const DiscoveredPhoto& photo : photos)
        if (photo.url == wanted) return &photo;
    // The same file under another spelling (case, links, Unicode form).
    const std::string key = records::pathKey(wanted);
    for (const DiscoveredPhoto& photo : photos)
        if (records::pathKey(photo.url) == key) return &photo;
    return nullptr;
}

std::string twoDigits(std::int64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "%02lld", static_cast<long long>(value));
    return text;
}

}  // namespace

ClockCheck checkClocks(std::span<const DiscoveredPhoto> photos) {
    ClockCheck check;
    for (const Group& group : clockGroups(photos)) check.estimates.push_back(estimateGroup(photos, group));
    for (const ClockEstimate& estimate : check.estimates)
        if (auto proposal = proposalFor(photos, estimate)) check.proposals.push_back(std::move(*proposal));
    return check;
}

const ClockEstimate* estimateFor(const ClockCheck& check, const DiscoveredPhoto& photo) {
    const std::string camera = dates::cameraText(photo.exif).value_or(std::string(unknownCamera));
    const fs::path folder = photo.url.parent_path();
    for (const ClockEstimate& estimate : check.estimates) {
        if (estimate.camera != camera) continue;
        if (!estimate.folder || *estimate.folder == folder) return &estimate;
    }
    return nullptr;
}

std::optional<std::int64_t> knownZone(const ClockCheck& check, const DiscoveredPhoto& photo) {
    if (photo.clock.offsetSeconds) return photo.clock.offsetSeconds;
    const ClockEstimate* estimate = estimateFor(check, photo);
    if (estimate == nullptr || !estimate->clockErrorSeconds) return std::nullopt;
    return estimate->zoneSeconds;
}

std::optional<std::int64_t> zoneByGpsTime(const dates::ClockReading& clock, const dates::CaptureDate& date) {
    if (!clock.gpsDay || !clock.gpsSecondOfDay || isPlaceholder(clock) || date.second == 60) return std::nullopt;
    const double wall = wallSeconds(date.year, date.month, date.day) +
                        static_cast<double>(date.hour * 3600 + date.minute * 60 + date.second);
    const double difference =
        wall - (wallSeconds(clock.gpsDay->year, clock.gpsDay->month, clock.gpsDay->day) + *clock.gpsSecondOfDay);
    const std::int64_t zone = roundedZone(difference);
    if (std::abs(difference - static_cast<double>(zone)) > clockLimits::zoneReadingSeconds || !zoneInRange(zone) ||
        !isUsualZone(zone))
        return std::nullopt;
    return zone;
}

std::string SyncShotError::description() const {
    const std::string name = photo.filename().string();
    switch (kind) {
        case Kind::notInBatch: return name + " is not among the photos being checked.";
        case Kind::noCaptureTime: return name + " records no capture date (DateTimeOriginal).";
        case Kind::samePhoto: return "A sync shot needs two different photos.";
        case Kind::sameClock:
            return "Both photos are by the same camera in the same folder, so no shift can single out the second "
                   "camera's clock.";
        case Kind::inStep: return "The two cameras already agree to within a second; no shift is needed.";
        case Kind::tooFar:
            return "The two cameras differ by more than 366 days; check that the photos show the same moment.";
    }
    return {};
}

std::expected<ClockProposal, SyncShotError> syncProposal(std::span<const DiscoveredPhoto> photos,
                                                         const ClockCheck& check, const SyncShot& shot) {
    using Kind = SyncShotError::Kind;
    const DiscoveredPhoto* reference = findPhoto(photos, shot.reference);
    if (reference == nullptr) return std::unexpected(SyncShotError{Kind::notInBatch, shot.reference});
    const DiscoveredPhoto* other = findPhoto(photos, shot.other);
    if (other == nullptr) return std::unexpected(SyncShotError{Kind::notInBatch, shot.other});
    if (reference == other) return std::unexpected(SyncShotError{Kind::samePhoto, shot.other});
    const auto referenceTime = cameraSeconds(*reference);
    if (!referenceTime) return std::unexpected(SyncShotError{Kind::noCaptureTime, reference->url});
    const auto otherTime = cameraSeconds(*other);
    if (!otherTime) return std::unexpected(SyncShotError{Kind::noCaptureTime, other->url});

    // The reference clock as it will read once its own proposal is applied.
    double target = *referenceTime;
    std::string corrected;
    if (const ClockEstimate* estimate = estimateFor(check, *reference)) {
        for (const ClockProposal& proposal : check.proposals) {
            if (proposal.basis != ClockProposal::Basis::gpsTime || proposal.rule.scope != estimate->scope) continue;
            target += static_cast<double>(proposal.rule.offsetSeconds);
            corrected = " as corrected by its GPS time";
        }
    }

    DateCorrectionScope scope = DateCorrectionScope::folder(other->url.parent_path());
    if (const ClockEstimate* estimate = estimateFor(check, *other)) scope = estimate->scope;
    if (matches(scope, *reference)) scope = DateCorrectionScope::folder(other->url.parent_path());
    if (matches(scope, *reference)) return std::unexpected(SyncShotError{Kind::sameClock, other->url});

    const std::int64_t shift = std::llround(target - *otherTime);
    if (shift == 0) return std::unexpected(SyncShotError{Kind::inStep, other->url});
    if (std::abs(shift) > maximumShiftSeconds) return std::unexpected(SyncShotError{Kind::tooFar, other->url});

    ClockProposal proposal;
    proposal.basis = ClockProposal::Basis::syncShot;
    proposal.zoneSeconds = knownZone(check, *reference);  // the second camera now reads the first's clock
    proposal.rule.scope = scope;
    proposal.rule.offsetSeconds = shift;
    proposal.shiftText = shiftText(proposal.rule);
    proposal.evidence = other->url.filename().string() + " and " + reference->url.filename().string() +
                        " show the same moment; the second camera's clock is set to the first's" + corrected + ".";
    ClockEstimate scoped;
    scoped.camera = dates::cameraText(other->exif).value_or(std::string(unknownCamera));
    scoped.scope = scope;
    if (auto note = otherCamerasNote(photos, scoped)) proposal.notes.push_back(*note);
    return proposal;
}

std::string shiftAmountText(std::int64_t seconds) {
    std::string text = seconds < 0 ? "-" : "+";
    std::uint64_t rest = seconds < 0 ? 0 - static_cast<std::uint64_t>(seconds) : static_cast<std::uint64_t>(seconds);
    const std::pair<std::uint64_t, char> units[] = {{86400, 'd'}, {3600, 'h'}, {60, 'm'}, {1, 's'}};
    for (const auto& [size, unit] : units) {
        if (rest < size && !(size == 1 && text.size() == 1)) continue;
        text += std::to_string(rest / size) + unit;
        rest %= size;
    }
    return text;
}

std::string shiftText(const DateCorrectionRule& rule) {
    std::string scope;
    switch (rule.scope.kind) {
        case DateCorrectionScope::Kind::camera: scope = "@camera=" + rule.scope.cameraText; break;
        case DateCorrectionScope::Kind::folder: scope = "@folder=" + rule.scope.location.string(); break;
        case DateCorrectionScope::Kind::photo: scope = "@photo=" + rule.scope.location.string(); break;
        case DateCorrectionScope::Kind::all: break;
    }
    return shiftAmountText(rule.offsetSeconds) + scope;
}

std::string zoneText(std::int64_t seconds) {
    const std::int64_t minutes = std::abs(seconds) / 60;
    return std::string("UTC") + (seconds < 0 ? "\u2212" : "+") + twoDigits(minutes / 60) + ":" +
           twoDigits(minutes % 60);
}

std::string durationText(double seconds) {
    seconds = std::abs(seconds);
    char text[48];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, seconds < 10 && seconds != std::floor(seconds) ? "%.1f s" : "%.0f s", seconds);
        return text;
    }
    auto whole = static_cast<std::int64_t>(std::llround(seconds));
    std::string result;
    const std::pair<std::int64_t, const char*> units[] = {{86400, "d"}, {3600, "h"}, {60, "min"}, {1, "s"}};
    for (const auto& [size, unit] : units) {
        if (whole < size) continue;
        result += (result.empty() ? "" : " ") + std::to_string(whole / size) + " " + unit;
        whole %= size;
    }
    return result;
}

}  // namespace veltrop::records
