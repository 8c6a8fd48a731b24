#include "cli/record_options.h"

#include <algorithm>
#include <charconv>
#include <ostream>

#include "kit/dates/exif_fields.h"
#include "kit/dates/text.h"
#include "kit/records/path_key.h"
#include "kit/export/photo_discovery.h"
#include "kit/records/correction_effects.h"
#include "kit/records/shift_text.h"

namespace veltrop::cli {

using records::DateCorrectionRule;
using records::DateCorrectionScope;

const std::vector<OptionSpec> recordOptionSpecs{
    {"--no-subfolders", false}, {"--file-dates", false}, {"--project", true}, {"--location", true},
    {"--prefix", true},         {"--first-number", true}, {"--expect", true}, {"--shift", true},
    {"--supply", true},
};

const std::string_view recordOptionsHelp =
    "  --no-subfolders           do not search sub-folders\n"
    "  --file-dates              use the file's date when a photo records none\n"
    "  --project TITLE           project title for records and the data strip\n"
    "  --location TEXT           location label\n"
    "  --prefix P                reference prefix (default IMG)\n"
    "  --first-number N          number of the first photo (default 1)\n"
    "  --expect FROM..TO         expected days, e.g. 2026-08-01..2026-08-31; photos\n"
    "                            outside them are flagged \"Outside expected project dates\"\n"
    "  --shift ±[Nd][Nh][Nm][Ns][@SCOPE]\n"
    "                            shift the clock: days, hours, minutes, seconds in this\n"
    "                            order, each once, e.g. +1h30m, -2d, +45s\n"
    "  --supply \"DATE[@SCOPE]\"   use this date, e.g. \"2026-08-14 06:17:49\"\n"
    "  SCOPE is all (the default), camera=TEXT, folder=DIR or photo=FILE; later\n"
    "  corrections win over earlier ones for the photos they match. A correction\n"
    "  that matches no photo is refused before anything is written. Dates are\n"
    "  written YYYY-MM-DD HH:MM:SS or, as in EXIF, YYYY:MM:DD HH:MM:SS.\n";

namespace {

std::optional<std::int64_t> parseInteger(std::string_view text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string inQuotes(std::string_view text) { return "\u201C" + std::string(text) + "\u201D"; }

// "all", "camera=TEXT", "folder=DIR" or "photo=FILE".
[[nodiscard]] std::expected<DateCorrectionScope, std::string> parseScope(std::string_view text) {
    if (text.empty() || text == "all") return DateCorrectionScope::all();
    const auto equals = text.find('=');
    const std::string_view kind = text.substr(0, equals);
    const std::string value = equals == std::string_view::npos ? std::string() : std::string(text.substr(equals + 1));
    if (!value.empty()) {
        if (kind == "camera") return DateCorrectionScope::camera(value);
        if (kind == "folder") return DateCorrectionScope::folder(records::standardized(value));
        if (kind == "photo") return DateCorrectionScope::photo(records::standardized(value));
    }
    return std::unexpected("a correction applies to all, camera=TEXT, folder=DIR or photo=FILE, not " +
                           inQuotes(text));
}

// The amount before the first "@", the scope after it, so that a camera text may hold an "@".
std::pair<std::string_view, std::string_view> splitScope(std::string_view text) {
    const auto at = text.find('@');
    if (at == std::string_view::npos) return {text, ""};
    return {text.substr(0, at), text.substr(at + 1)};
}

[[nodiscard]] std::expected<DateCorrectionRule, std::string> parseCorrection(std::string_view option,
                                                                            std::string_view value) {
    const auto [amount, scopeText] = splitScope(value);
    auto scope = parseScope(scopeText);
    if (!scope) return std::unexpected(scope.error());
    DateCorrectionRule rule;
    rule.scope = *scope;
    if (option == "--shift") {
        const auto offset = records::parseShiftText(amount);
        if (!offset) return std::unexpected(offset.error().description());
        rule.offsetSeconds = *offset;
    } else {
        const auto date = parseDateArgument(amount);
        if (!date)
            return std::unexpected("--supply takes a date like \"2026-08-14 06:17:49\" or \"2026:08:14 06:17:49\", not " +
                                   inQuotes(amount));
        rule.suppliedDate = *date;
    }
    return rule;
}

[[nodiscard]] std::expected<std::optional<records::ExpectedDateRange>, std::string> parseExpected(
    const std::optional<std::string>& option) {
    if (!option) return std::nullopt;
    const auto dots = option->find("..");
    auto day = [](std::string_view text) { return parseDateArgument(dates::trimmed(text) + " 00:00:00"); };
    const auto from = dots == std::string::npos ? std::nullopt : day(std::string_view(*option).substr(0, dots));
    const auto to = dots == std::string::npos ? std::nullopt : day(std::string_view(*option).substr(dots + 2));
    if (!from || !to) return std::unexpected("--expect takes two days, like 2026-08-01..2026-08-31");
    auto range = records::ExpectedDateRange::days(from->year, from->month, from->day, to->year, to->month, to->day);
    if (!records::isValid(range)) return std::unexpected("Choose an end date on or after the start date.");
    return range;
}

// At most this many of the batch's cameras or folders are named in a message.
constexpr std::size_t namedAtMost = 10;

std::string cameraList(const std::vector<records::DiscoveredPhoto>& photos) {
    std::vector<std::pair<std::string, std::size_t>> cameras;  // in order of first appearance
    for (const auto& photo : photos) {
        const auto camera = dates::cameraText(photo.exif);
        if (!camera) continue;
        auto found = std::ranges::find(cameras, *camera, &std::pair<std::string, std::size_t>::first);
        if (found == cameras.end()) cameras.emplace_back(*camera, 1);
        else ++found->second;
    }
    if (cameras.empty()) return "No photo of this batch records a camera.";
    std::string list = "Cameras in this batch: ";
    for (std::size_t i = 0; i < cameras.size() && i < namedAtMost; ++i)
        list += (i > 0 ? ", " : "") + inQuotes(cameras[i].first) + " (" + std::to_string(cameras[i].second) + ")";
    if (cameras.size() > namedAtMost) list += " \u2026 and " + std::to_string(cameras.size() - namedAtMost) + " more";
    return list;
}

std::string folderList(const std::vector<records::DiscoveredPhoto>& photos) {
    std::vector<std::filesystem::path> folders;
    for (const auto& photo : photos)
        if (std::ranges::find(folders, photo.url.parent_path()) == folders.end())
            folders.push_back(photo.url.parent_path());
    std::string list = "Folders in this batch: ";
    for (std::size_t i = 0; i < folders.size() && i < namedAtMost; ++i)
        list += (i > 0 ? ", " : "") + folders[i].string();
    if (folders.size() > namedAtMost) list += " \u2026 and " + std::to_string(folders.size() - namedAtMost) + " more";
    return list;
}

std::string lowercased(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string photos(std::size_t count) { return std::to_string(count) + (count == 1 ? " photo" : " photos"); }

}  // namespace

std::optional<dates::CaptureDate> parseDateArgument(std::string_view text) {
    // EXIF's colons in the day become the dashes of the typed form.
    std::string typed = dates::trimmed(text);
    if (typed.size() >= 10 && typed[4] == ':' && typed[7] == ':' && (typed.size() == 10 || typed[10] == ' '))
        typed[4] = typed[7] = '-';
    return records::parseSuppliedText(typed);
}

std::vector<DateCorrectionRule> RecordOptions::rules() const {
    std::vector<DateCorrectionRule> rules;
    for (const auto& correction : corrections) rules.push_back(correction.rule);
    return rules;
}

std::expected<RecordOptions, std::string> readRecordOptions(const ParsedArguments& parsed,
                                                            settings::StampConfiguration& configuration) {
    if (parsed.has("--no-subfolders")) configuration.includeSubfolders = false;
    if (parsed.has("--file-dates")) configuration.useFileDateFallback = true;
    const auto title = parsed.value("--project");
    const auto location = parsed.value("--location");
    const auto prefix = parsed.value("--prefix");
    const auto first = parsed.value("--first-number");
    if (title || location || prefix || first) {
        settings::PhotoProject project = configuration.project.value_or(settings::defaultProject());
        if (title) project.title = *title;
        if (location) project.location = *location;
        if (prefix) project.referencePrefix = *prefix;
        if (first) {
            auto number = parseInteger(*first);
            if (!number) return std::unexpected("--first-number takes a whole number");
            project.firstNumber = *number;
        }
        configuration.project = project;
    }

    RecordOptions options;
    for (const auto& [option, value] : parsed.ordered) {
        if (option != "--shift" && option != "--supply") continue;
        auto rule = parseCorrection(option, value);
        if (!rule) return std::unexpected(rule.error());
        options.corrections.push_back({option, value, *rule});
    }
    auto expected = parseExpected(parsed.value("--expect"));
    if (!expected) return std::unexpected(expected.error());
    options.expectedRange = *expected;
    return options;
}

std::vector<records::DiscoveredPhoto> discoverPhotos(const std::vector<std::string>& paths, bool includeSubfolders,
                                                       const std::vector<std::filesystem::path>& excluded) {
    std::vector<std::filesystem::path> dropped;
    for (const auto& path : paths) dropped.push_back(records::standardized(path));
    namespace discovery = exporting::PhotoDiscovery;
    auto photos = discovery::makePhotos(discovery::discoverFiles(dropped, includeSubfolders, excluded), dropped);
    for (std::size_t i = 0; i < photos.size(); ++i) photos[i].batchOrdinal = static_cast<std::int64_t>(i);
    return photos;
}

std::optional<std::string> unmatchedCorrections(const RecordOptions& options,
                                                const std::vector<records::DiscoveredPhoto>& photos) {
    const auto unmatched = records::rulesMatchingNothing(options.rules(), photos);
    if (unmatched.empty()) return std::nullopt;
    std::string message;
    bool namesCamera = false, namesFolder = false;
    for (const std::size_t index : unmatched) {
        const Correction& correction = options.corrections[index];
        const DateCorrectionScope& scope = correction.rule.scope;
        if (!message.empty()) message += "\n";
        message += correction.option + " " + inQuotes(correction.value) + " matches no photo: ";
        switch (scope.kind) {
            case DateCorrectionScope::Kind::camera: {
                message += "no camera of this batch is called " + inQuotes(scope.cameraText);
                // A camera text is matched whole and exactly; a part of it, or other letter case, is the usual slip.
                for (const auto& photo : photos) {
                    const auto camera = dates::cameraText(photo.exif);
                    if (camera && lowercased(*camera).find(lowercased(scope.cameraText)) != std::string::npos) {
                        message += " (did you mean " + inQuotes(*camera) + "?)";
                        break;
                    }
                }
                namesCamera = true;
                break;
            }
            case DateCorrectionScope::Kind::folder:
                message += "no photo of this batch lies in " + scope.location.string();
                namesFolder = true;
                break;
            case DateCorrectionScope::Kind::photo:
                message += "no photo of this batch is " + scope.location.string();
                break;
            case DateCorrectionScope::Kind::all: message += "the batch is empty"; break;
        }
    }
    if (namesCamera) message += "\n" + cameraList(photos);
    if (namesFolder) message += "\n" + folderList(photos);
    return message;
}

std::vector<std::size_t> correctionEffects(const RecordOptions& options,
                                           const std::vector<records::DiscoveredPhoto>& photos,
                                           const settings::StampConfiguration& configuration) {
    return records::changedPhotoCounts(options.rules(), photos, configuration);
}

void printCorrectionEffects(std::ostream& out, const RecordOptions& options, const std::vector<std::size_t>& changed) {
    for (std::size_t i = 0; i < options.corrections.size() && i < changed.size(); ++i) {
        const Correction& correction = options.corrections[i];
        out << "Correction " << correction.option << " " << inQuotes(correction.value) << " changed "
            << photos(changed[i]) << " (" << records::text(correction.rule) << ", "
            << records::label(correction.rule.scope) << ")\n";
    }
}

json::Value correctionEffectsJson(const RecordOptions& options, const std::vector<std::size_t>& changed) {
    json::Array list;
    for (std::size_t i = 0; i < options.corrections.size() && i < changed.size(); ++i) {
        const Correction& correction = options.corrections[i];
        list.emplace_back(json::Object{{"option", correction.option},
                                       {"value", correction.value},
                                       {"correction", records::text(correction.rule)},
                                       {"scope", records::label(correction.rule.scope)},
                                       {"changedPhotos", changed[i]}});
    }
    return list;
}

bool reportOutsideRange(std::ostream& err, const RecordOptions& options,
                        const std::vector<const records::PhotoRecord*>& records) {
    if (!options.expectedRange) return false;
    std::vector<const records::PhotoRecord*> outside;
    for (const auto* record : records)
        if (std::find(record->warnings.begin(), record->warnings.end(), records::warnings::outsideRange) !=
            record->warnings.end())
            outside.push_back(record);
    if (outside.empty()) return false;
    const auto day = [](const dates::CaptureDate& date) { return dates::text(date).substr(0, 10); };
    err << (outside.size() == 1 ? "1 photo lies" : std::to_string(outside.size()) + " photos lie")
        << " outside the expected dates " << day(options.expectedRange->start) << " \u2026 "
        << day(options.expectedRange->end) << ":\n";
    for (const auto* record : outside)
        err << "  " << record->sourcePath << "  " << (record->resolvedDate ? dates::text(*record->resolvedDate) : "")
            << "\n";
    return true;
}

}  // namespace veltrop::cli
