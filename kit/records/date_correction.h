#pragma once
// User corrections of photo dates for the current batch: a clock shift or a
// supplied date, for all photos, one camera, one folder or one photo.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kit/dates/capture_date.h"
#include "kit/records/discovered_photo.h"
#include "kit/settings/stamp_configuration.h"
#include "kit/settings/uuid.h"

namespace veltrop::records {

struct DateCorrectionScope {
    enum class Kind { camera, folder, photo, all };
    Kind kind = Kind::all;
    std::string cameraText;           // camera
    std::filesystem::path location;   // folder or photo

    static DateCorrectionScope camera(std::string text) { return {Kind::camera, std::move(text), {}}; }
    static DateCorrectionScope folder(std::filesystem::path path) { return {Kind::folder, {}, std::move(path)}; }
    static DateCorrectionScope photo(std::filesystem::path path) { return {Kind::photo, {}, std::move(path)}; }
    static DateCorrectionScope all() { return {}; }

    bool operator==(const DateCorrectionScope&) const = default;
};

bool matches(const DateCorrectionScope& scope, const DiscoveredPhoto& photo);
std::string label(const DateCorrectionScope& scope);

inline constexpr std::int64_t maximumShiftSeconds = 366LL * 86400;

struct DateCorrectionRule {
    settings::Uuid id = settings::Uuid::random();
    DateCorrectionScope scope;
    std::int64_t offsetSeconds = 0;                 // ignored by supply rules
    std::optional<dates::CaptureDate> suppliedDate;  // present: a supply rule

    bool operator==(const DateCorrectionRule&) const = default;
};

// "Date supplied: 2026-08-14 06:17:49" or "Clock adjustment +60 min".
std::string text(const DateCorrectionRule& rule);

// Adds seconds to a wall-clock reading in a fixed UTC calendar, so no
// daylight-saving gap can move it. Years stay within 1…9999.
std::optional<dates::CaptureDate> shifted(const dates::CaptureDate& date, std::int64_t seconds);

// "YYYY-MM-DD HH:MM:SS" with two-digit fields, source suppliedDate.
std::optional<dates::CaptureDate> parseSuppliedText(std::string_view text);

namespace errors {
inline constexpr std::string_view shiftNotAllowed = "Use a total shift within 366 days in either direction.";
inline constexpr std::string_view suppliedTextInvalid = "Enter a valid date as YYYY-MM-DD HH:MM:SS.";
inline constexpr std::string_view invalidSuppliedDate = "The supplied date is not a valid calendar date";
inline constexpr std::string_view shiftOutOfRange = "Clock correction is outside the supported date range";
}  // namespace errors

// A new shift rule from the review form's fields: days −366…366, hours −23…23,
// minutes −59…59, a non-zero total within 366 days. Fails with the form's message.
[[nodiscard]] std::expected<DateCorrectionRule, std::string> makeShiftRule(DateCorrectionScope scope, std::int64_t days,
                                                                         std::int64_t hours, std::int64_t minutes);
// A new supply rule from typed text; fails with the form's message.
[[nodiscard]] std::expected<DateCorrectionRule, std::string> makeSupplyRule(DateCorrectionScope scope,
                                                                          std::string_view text);

// Why a matching rule gave no date.
enum class DateResolutionError { invalidSuppliedDate, shiftOutOfRange };
std::string_view description(DateResolutionError error);

struct DateResolution {
    std::optional<dates::CaptureDate> base;  // recorded date, or the file date when the fallback applies
    std::optional<DateCorrectionRule> matchedRule;
    std::optional<dates::CaptureDate> resolved;
    std::optional<DateResolutionError> error;  // always with an absent resolved date

    bool operator==(const DateResolution&) const = default;
};

// The rules of a batch with their scopes put in comparable form once, so that
// matching many photos costs text comparisons only. Refers to the rules: they
// must outlive it unchanged.
class CorrectionRules {
public:
    explicit CorrectionRules(std::span<const DateCorrectionRule> rules);

    std::span<const DateCorrectionRule> rules() const { return rules_; }
    // The most recent rule whose scope takes in the photo, or none.
    const DateCorrectionRule* latestMatch(const DiscoveredPhoto& photo) const;
    // Sets matched[i] for every rule i that takes in the photo.
    void markMatches(const DiscoveredPhoto& photo, std::vector<bool>& matched) const;

private:
    struct PhotoForms;
    bool takesIn(std::size_t rule, PhotoForms& photo) const;

    std::span<const DateCorrectionRule> rules_;
    std::vector<std::string> forms_;  // per rule: folder prefix or photo location, compared as text
};

// The most recent matching rule wins; shifts never add up.
DateResolution resolveDate(const DiscoveredPhoto& photo, const settings::StampConfiguration& configuration,
                           std::span<const DateCorrectionRule> rules);
DateResolution resolveDate(const DiscoveredPhoto& photo, const settings::StampConfiguration& configuration,
                           const CorrectionRules& rules);

}  // namespace veltrop::records
