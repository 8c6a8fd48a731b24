#pragma once
// Finding wrong camera clocks. Many photos carry two clocks: the camera's
// (DateTimeOriginal, local, maybe with its zone and sub-seconds) and the
// satellites' (GPS date and time, UTC). Their difference is a time zone plus
// the camera's clock error. For each camera this estimates both, and turns
// what it finds into shift rules that the user may apply; nothing here
// changes a date by itself.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kit/records/discovered_photo.h"
#include "kit/records/date_correction.h"

namespace veltrop::records {

// The check's limits, in one place.
namespace clockLimits {
// A GPS time whose clock error is further than this from its group's median is left out.
inline constexpr double outlierSeconds = 300;
// Both clocks are usually written in whole seconds, so two shots can disagree by this much honestly.
inline constexpr double lagToleranceSeconds = 2;
// Time zones are whole quarter hours.
inline constexpr std::int64_t zoneStepSeconds = 900;
// A zone further than this from round(longitude / 15°) hours earns a note.
inline constexpr std::int64_t longitudeZoneToleranceSeconds = 3600;
// Folders of one camera text whose clock errors agree this closely are taken to be one camera.
inline constexpr double sameClockSeconds = 30;
// Memory cards keep file times to 2 seconds and cameras finish writing after the shot.
inline constexpr std::int64_t fileTimeToleranceSeconds = 60;
// Smaller corrections are within what whole-second clocks can tell apart.
inline constexpr std::int64_t minimumShiftSeconds = 2;
// A date read against GPS time tells its zone when the difference is this
// close to a usual zone: a stale fix or a rounded correction stays within it.
inline constexpr double zoneReadingSeconds = 120;
}  // namespace clockLimits

// One clock: the photos of one camera text, or of one folder of it when the
// camera text spans folders whose clocks disagree (two bodies of one model),
// or of one folder when the photos name no camera.
struct ClockEstimate {
    std::string camera;                           // camera text, or "Unknown camera"
    std::optional<std::filesystem::path> folder;  // set when the clock is told apart by folder
    DateCorrectionScope scope;                    // what a correction of this clock applies to
    std::size_t photos = 0;

    // From GPS time. A photo counts when it has a DateTimeOriginal and a GPS
    // time; a GPS date without a time, or a time of exactly 00:00:00, is a
    // placeholder and ignored.
    std::size_t placeholders = 0;
    std::size_t withGpsTime = 0;
    // Left out: a GPS fix older than the shot. In capture order within each
    // folder, a photo whose clock error exceeds that of the last photo kept
    // by more than lagToleranceSeconds: its GPS time advanced less than its
    // camera time, as when a phone writes its last fix again, or went back
    // behind the previous shot's.
    std::size_t lagging = 0;
    // Left out: a clock error further than outlierSeconds from the median of all.
    std::size_t outliers = 0;
    std::size_t used = 0;
    // East of UTC. From OffsetTimeOriginal where photos have it, else the
    // median difference rounded to the nearest quarter hour.
    std::optional<std::int64_t> zoneSeconds;
    bool zoneFromOffsetTag = false;
    // Median over the used photos; positive when the camera runs ahead.
    std::optional<double> clockErrorSeconds;
    double spreadSeconds = 0;  // largest minus smallest used clock error
    // round(median longitude of the used photos / 15°), in seconds.
    std::optional<std::int64_t> longitudeZoneSeconds;

    // Without GPS time: photos recorded as taken later than their file was
    // last written. When that file time is true, the camera runs ahead by at
    // least the gap; the smallest gap is kept.
    std::size_t withFileTime = 0;  // photos with a DateTimeOriginal and a modification time
    std::size_t fileTimeWitnesses = 0;
    std::optional<std::int64_t> aheadAtLeastSeconds;

    std::vector<std::string> notes;

    bool operator==(const ClockEstimate&) const = default;
};

struct ClockProposal {
    enum class Basis { gpsTime, fileTimes, syncShot };
    Basis basis = Basis::gpsTime;
    DateCorrectionRule rule;  // a shift rule
    std::string shiftText;    // for --shift: "-7m13s@camera=NIKON D3100"
    std::string evidence;     // one sentence: what the shift rests on
    std::vector<std::string> notes;
    // The zone the dates are in once the shift is applied, when known (east
    // of UTC): what a copy's OffsetTimeOriginal can say about a corrected date.
    std::optional<std::int64_t> zoneSeconds;

    bool operator==(const ClockProposal&) const = default;
};

struct ClockCheck {
    std::vector<ClockEstimate> estimates;  // in order of each clock's first photo
    std::vector<ClockProposal> proposals;  // shifts of at least minimumShiftSeconds

    bool operator==(const ClockCheck&) const = default;
};

// The whole check over a batch. Pure: reads only what discovery recorded.
ClockCheck checkClocks(std::span<const records::DiscoveredPhoto> photos);

// The estimate whose clock took the photo, or null.
const ClockEstimate* estimateFor(const ClockCheck& check, const records::DiscoveredPhoto& photo);

// The photo's time zone when it is known: its own offset tag, else its
// clock's zone as found from GPS time. Seconds east of UTC.
std::optional<std::int64_t> knownZone(const ClockCheck& check, const records::DiscoveredPhoto& photo);

// The zone a wall-clock date of the photo is in, read off the photo's own
// GPS date and time (UTC): their difference must lie within
// zoneReadingSeconds of a usual zone (whole or half hours, or the three
// that end in three quarters) inside −12:00…+14:00. Seconds east of UTC.
std::optional<std::int64_t> zoneByGpsTime(const dates::ClockReading& clock, const dates::CaptureDate& date);

// Two photos of one moment by two cameras: the second camera's clock is set
// to the first's (corrected first, when the first camera has a GPS proposal).
struct SyncShot {
    std::filesystem::path reference;
    std::filesystem::path other;
    bool operator==(const SyncShot&) const = default;
};

struct SyncShotError {
    enum class Kind { notInBatch, noCaptureTime, samePhoto, sameClock, inStep, tooFar };
    Kind kind = Kind::notInBatch;
    std::filesystem::path photo;
    std::string description() const;
    bool operator==(const SyncShotError&) const = default;
};

[[nodiscard]] std::expected<ClockProposal, SyncShotError> syncProposal(
    std::span<const records::DiscoveredPhoto> photos, const ClockCheck& check, const SyncShot& shot);

// "+1h30m15s", "-7m13s", "+2d": what --shift reads; days, hours, minutes,
// seconds, zero parts left out.
std::string shiftAmountText(std::int64_t seconds);
// The amount followed by "@camera=TEXT" or "@folder=PATH".
std::string shiftText(const DateCorrectionRule& rule);
// "UTC+05:30", "UTC−07:00" (a minus sign, U+2212).
std::string zoneText(std::int64_t seconds);
// "7 min 13 s", "0.6 s", "2 h 5 min": a duration for people.
std::string durationText(double seconds);

}  // namespace veltrop::records
