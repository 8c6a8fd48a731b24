#include "kit/records/date_correction.h"

#include <cstdlib>

#include "kit/dates/civil.h"
#include "kit/dates/exif_fields.h"
#include "kit/dates/text.h"
#include "kit/platform/file_times.h"

namespace veltrop::records {

using dates::CaptureDate;

namespace {

std::string withTrailingSlash(std::string path) {
    if (!path.ends_with('/')) path.push_back('/');
    return path;
}

std::string folderPrefix(const std::filesystem::path& folder) {
    return withTrailingSlash(folder.lexically_normal().string());
}

// Locations compare element by element: runs of separators count as one.
std::string comparableForm(const std::string& location) {
    std::string form;
    form.reserve(location.size());
    for (char c : location)
        if (c != '/' || !form.ends_with('/')) form.push_back(c);
    return form;
}

bool hasShape(std::string_view text, std::string_view shape) {
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
    }
    return true;
}

}  // namespace

bool matches(const DateCorrectionScope& scope, const DiscoveredPhoto& photo) {
    switch (scope.kind) {
        case DateCorrectionScope::Kind::camera: {
            auto camera = dates::cameraText(photo.exif);
            return camera && *camera == scope.cameraText;
        }
        case DateCorrectionScope::Kind::folder:
            return photo.url.lexically_normal().string().starts_with(folderPrefix(scope.location));
        case DateCorrectionScope::Kind::photo: return photo.url == scope.location;
        case DateCorrectionScope::Kind::all: return true;
    }
    return false;
}

std::string label(const DateCorrectionScope& scope) {
    switch (scope.kind) {
        case DateCorrectionScope::Kind::camera: return "Camera model: " + scope.cameraText;
        case DateCorrectionScope::Kind::folder: {
            std::filesystem::path folder = scope.location;
            if (!folder.has_filename()) folder = folder.parent_path();
            return "Folder: " + folder.parent_path().filename().string() + "/" + folder.filename().string();
        }
        case DateCorrectionScope::Kind::photo: return "Photo: " + scope.location.filename().string();
        case DateCorrectionScope::Kind::all: return "All photos";
    }
    return {};
}

std::string text(const DateCorrectionRule& rule) {
    if (rule.suppliedDate) return "Date supplied: " + dates::text(*rule.suppliedDate);
    const std::int64_t minutes = rule.offsetSeconds / 60;  // toward zero
    return "Clock adjustment " + std::string(rule.offsetSeconds <= -60 ? "" : "+") + std::to_string(minutes) + " min";
}

std::optional<CaptureDate> shifted(const CaptureDate& date, std::int64_t seconds) {
    if (seconds > maximumShiftSeconds || seconds < -maximumShiftSeconds) return std::nullopt;
    if (date.year < 1 || date.year > 9999) return std::nullopt;
    if (seconds == 0) return date;
    if (date.second == 60) return std::nullopt;
    if (date.month < 1 || date.month > 12 || date.day < 1 || date.day > dates::daysInMonth(date.year, date.month))
        return std::nullopt;

    const std::int64_t instant = dates::daysFromCivil(date.year, date.month, date.day) * 86400 + date.hour * 3600 +
                                 date.minute * 60 + date.second + seconds;
    const std::int64_t days = instant >= 0 ? instant / 86400 : -((-instant + 86399) / 86400);
    const std::int64_t secondOfDay = instant - days * 86400;
    const auto civil = dates::civilFromDays(days);
    if (civil.year < 1 || civil.year > 9999) return std::nullopt;
    return CaptureDate{civil.year,        civil.month,               civil.day,        secondOfDay / 3600,
                       secondOfDay / 60 % 60, secondOfDay % 60, date.source};
}

std::optional<CaptureDate> parseSuppliedText(std::string_view input) {
    const std::string text = dates::trimmed(input);
    const auto pieces = dates::splitDroppingEmpty(text, ' ');
    if (pieces.size() != 2 || pieces[0].size() != 10 || pieces[1].size() != 8) return std::nullopt;
    if (dates::splitDroppingEmpty(pieces[0], '-').size() != 3 || dates::splitDroppingEmpty(pieces[1], ':').size() != 3)
        return std::nullopt;
    // The piece counts alone would let "2026--8-14" or "-026-08-14" through; only
    // YYYY-MM-DD HH:MM:SS with every field in digits is meant.
    if (!hasShape(pieces[0], "dddd-dd-dd") || !hasShape(pieces[1], "dd:dd:dd")) return std::nullopt;
    std::string day(pieces[0]);
    for (char& c : day)
        if (c == '-') c = ':';
    auto date = dates::CaptureDateReader::parseExifText(day + " " + std::string(pieces[1]),
                                                        dates::CaptureDateSource::suppliedDate);
    if (!date || date->year < 1 || date->year > 9999 || date->second == 60) return std::nullopt;
    return date;
}

std::expected<DateCorrectionRule, std::string> makeShiftRule(DateCorrectionScope scope, std::int64_t days,
                                                           std::int64_t hours, std::int64_t minutes) {
    const bool fieldsInRange = days >= -366 && days <= 366 && hours >= -23 && hours <= 23 && minutes >= -59 &&
                               minutes <= 59;
    const std::int64_t offset = days * 86400 + hours * 3600 + minutes * 60;
    if (!fieldsInRange || offset == 0 || offset > maximumShiftSeconds || offset < -maximumShiftSeconds)
        return std::unexpected(std::string(errors::shiftNotAllowed));
    DateCorrectionRule rule;
    rule.scope = std::move(scope);
    rule.offsetSeconds = offset;
    return rule;
}

std::expected<DateCorrectionRule, std::string> makeSupplyRule(DateCorrectionScope scope, std::string_view text) {
    auto date = parseSuppliedText(text);
    if (!date) return std::unexpected(std::string(errors::suppliedTextInvalid));
    DateCorrectionRule rule;
    rule.scope = std::move(scope);
    rule.suppliedDate = *date;
    return rule;
}

CorrectionRules::CorrectionRules(std::span<const DateCorrectionRule> rules) : rules_(rules) {
    forms_.reserve(rules.size());
    for (const DateCorrectionRule& rule : rules) {
        switch (rule.scope.kind) {
            case DateCorrectionScope::Kind::folder: forms_.push_back(folderPrefix(rule.scope.location)); break;
            case DateCorrectionScope::Kind::photo: forms_.push_back(comparableForm(rule.scope.location.string())); break;
            default: forms_.emplace_back(); break;
        }
    }
}

// A photo's forms are made once per photo, and only when a rule needs them.
struct CorrectionRules::PhotoForms {
    const DiscoveredPhoto& photo;
    std::optional<std::string> normal, comparable;
    std::optional<std::optional<std::string>> camera;
};

bool CorrectionRules::takesIn(std::size_t i, PhotoForms& forms) const {
    const DateCorrectionScope& scope = rules_[i].scope;
    switch (scope.kind) {
        case DateCorrectionScope::Kind::camera:
            if (!forms.camera) forms.camera = dates::cameraText(forms.photo.exif);
            return *forms.camera && **forms.camera == scope.cameraText;
        case DateCorrectionScope::Kind::folder:
            if (!forms.normal) forms.normal = forms.photo.url.lexically_normal().string();
            return forms.normal->starts_with(forms_[i]);
        case DateCorrectionScope::Kind::photo:
            if (!forms.comparable) forms.comparable = comparableForm(forms.photo.url.string());
            return *forms.comparable == forms_[i];
        case DateCorrectionScope::Kind::all: return true;
    }
    return false;
}

const DateCorrectionRule* CorrectionRules::latestMatch(const DiscoveredPhoto& photo) const {
    PhotoForms forms{photo, {}, {}, {}};
    for (std::size_t i = rules_.size(); i-- > 0;)
        if (takesIn(i, forms)) return &rules_[i];
    return nullptr;
}

void CorrectionRules::markMatches(const DiscoveredPhoto& photo, std::vector<bool>& matched) const {
    matched.resize(rules_.size(), false);
    PhotoForms forms{photo, {}, {}, {}};
    for (std::size_t i = 0; i < rules_.size(); ++i)
        if (!matched[i] && takesIn(i, forms)) matched[i] = true;
}

std::string_view description(DateResolutionError error) {
    switch (error) {
        case DateResolutionError::invalidSuppliedDate: return errors::invalidSuppliedDate;
        case DateResolutionError::shiftOutOfRange: return errors::shiftOutOfRange;
    }
    return {};
}

DateResolution resolveDate(const DiscoveredPhoto& photo, const settings::StampConfiguration& configuration,
                           std::span<const DateCorrectionRule> rules) {
    return resolveDate(photo, configuration, CorrectionRules(rules));
}

DateResolution resolveDate(const DiscoveredPhoto& photo, const settings::StampConfiguration& configuration,
                           const CorrectionRules& rules) {
    DateResolution resolution;
    resolution.base = photo.captureDate;
    if (!resolution.base && configuration.useFileDateFallback)
        resolution.base = dates::CaptureDateReader::readFileDate(platform::fileDates(photo.url));

    if (const DateCorrectionRule* rule = rules.latestMatch(photo)) resolution.matchedRule = *rule;
    if (!resolution.matchedRule) {
        resolution.resolved = resolution.base;
        return resolution;
    }
    const DateCorrectionRule& rule = *resolution.matchedRule;
    if (rule.suppliedDate) {
        resolution.resolved = parseSuppliedText(dates::text(*rule.suppliedDate));
        if (!resolution.resolved) resolution.error = DateResolutionError::invalidSuppliedDate;
    } else if (resolution.base) {
        resolution.resolved = shifted(*resolution.base, rule.offsetSeconds);
        if (!resolution.resolved) resolution.error = DateResolutionError::shiftOutOfRange;
    }
    return resolution;
}

}  // namespace veltrop::records
