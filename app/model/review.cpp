#include "app/model/review.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace veltrop::app {

namespace fs = std::filesystem;
using records::DateCorrectionRule;
using records::DateCorrectionScope;
using records::PhotoRecord;

namespace {

std::string shiftText(std::int64_t seconds) {
    const std::int64_t magnitude = std::llabs(seconds);
    const std::int64_t days = magnitude / 86400;
    const std::int64_t hours = magnitude % 86400 / 3600;
    const std::int64_t minutes = magnitude % 3600 / 60;
    std::string text = seconds < 0 ? "-" : "+";
    std::string parts;
    auto add = [&](std::int64_t value, const char* unit) {
        if (value == 0) return;
        if (!parts.empty()) parts += " ";
        parts += std::to_string(value) + " " + unit;
    };
    add(days, "d");
    add(hours, "h");
    add(minutes, "min");
    if (parts.empty()) parts = std::to_string(magnitude) + " s";
    return text + parts;
}

std::string plural(std::size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

std::string dateSourceText(const PhotoRecord& record) {
    if (!record.resolvedDate) return reviewTexts::noDate;
    if (!record.correction.empty() && record.resolvedDate->source != dates::CaptureDateSource::suppliedDate)
        return reviewTexts::corrected;
    return std::string(dates::label(record.resolvedDate->source));
}

std::string recordedText(const PhotoRecord& record) {
    return record.recordedDate ? dates::text(*record.recordedDate) : std::string(reviewTexts::noDate);
}

std::string willUseText(const PhotoRecord& record) {
    if (!record.resolvedDate) return reviewTexts::stillNoDate;
    return dates::text(*record.resolvedDate) + "  \u00b7  " + dateSourceText(record);
}

std::string notesText(const PhotoRecord& record) {
    std::string text;
    for (const std::string& warning : record.warnings) {
        if (!text.empty()) text += "; ";
        text += warning;
    }
    if (record.error) {
        if (!text.empty()) text += "; ";
        text += description(*record.error);
    }
    return text;
}

std::string appliedCorrectionText(const DateCorrectionRule& rule) {
    const std::string what = rule.suppliedDate ? dates::text(*rule.suppliedDate)
                                               : "Clock correction " + shiftText(rule.offsetSeconds);
    return what + " \u2014 " + records::label(rule.scope);
}

std::string undatedWarningText(std::size_t count) {
    return plural(count, "photo") + " without a recorded capture date";
}

std::optional<DateSpan> resolvedDateSpan(const std::vector<PhotoRecord>& records) {
    std::optional<DateSpan> span;
    for (const PhotoRecord& record : records) {
        if (!record.resolvedDate) continue;
        const dates::CaptureDate& date = *record.resolvedDate;
        if (!span) {
            span = DateSpan{date, date};
            continue;
        }
        // Field by field: the order of the dates' texts, without making 4 texts per photo.
        const auto fields = [](const dates::CaptureDate& d) {
            return std::tie(d.year, d.month, d.day, d.hour, d.minute, d.second);
        };
        if (fields(date) < fields(span->first)) span->first = date;
        if (fields(date) > fields(span->last)) span->last = date;
    }
    return span;
}

const char* filterTitle(ReviewFilter filter) {
    switch (filter) {
        case ReviewFilter::allPhotos: return "All photos";
        case ReviewFilter::needsAttention: return "Needs attention";
        case ReviewFilter::corrected: return "Corrected";
    }
    return "All photos";
}

bool matches(ReviewFilter filter, const PhotoRecord& record) {
    switch (filter) {
        case ReviewFilter::allPhotos: return true;
        case ReviewFilter::needsAttention: return records::needsAttention(record);
        case ReviewFilter::corrected: return !record.correction.empty();
    }
    return true;
}

std::vector<ScopeChoice> scopeChoices(const records::DiscoveredPhoto* selected) {
    std::vector<ScopeChoice> choices{{"All photos", DateCorrectionScope::all()}};
    if (!selected) return choices;
    const std::string camera =
        dates::cameraText(selected->exif).value_or(std::string(records::unknownCamera));
    if (dates::cameraText(selected->exif))
        choices.push_back({"Camera model: " + camera, DateCorrectionScope::camera(camera)});
    const auto folder = DateCorrectionScope::folder(selected->url.parent_path());
    choices.push_back({records::label(folder), folder});
    const auto photo = DateCorrectionScope::photo(selected->url);
    choices.push_back({"Selected photo: " + selected->url.filename().string(), photo});
    return choices;
}

std::vector<DateCorrectionRule> withRule(std::span<const DateCorrectionRule> rules, const DateCorrectionRule& rule) {
    std::vector<DateCorrectionRule> result;
    for (const auto& existing : rules)
        if (!(existing.scope == rule.scope)) result.push_back(existing);
    result.push_back(rule);
    return result;
}

CorrectionAssessment assessCorrection(const CorrectionForm& form, const std::vector<records::DiscoveredPhoto>& photos,
                                      const settings::StampConfiguration& configuration,
                                      std::span<const DateCorrectionRule> corrections,
                                      const std::optional<fs::path>& selection) {
    CorrectionAssessment assessment;
    auto built = form.supplyDate ? records::makeSupplyRule(form.scope, form.suppliedText)
                                 : records::makeShiftRule(form.scope, form.days, form.hours, form.minutes);
    if (!built) {
        assessment.problem = built.error();
        assessment.disabledReason = built.error();
        return assessment;
    }
    assessment.rule = *built;
    const auto proposed = withRule(corrections, *built);

    for (const auto& photo : photos) {
        if (selection && photo.url == *selection) {
            const auto resolution = records::resolveDate(photo, configuration, proposed);
            if (resolution.resolved) {
                auto record = records::makeRecord(photo, 0, configuration, proposed, std::nullopt);
                assessment.whatIf = "Will use " + willUseText(record);
            } else if (!form.supplyDate && !resolution.base) {
                assessment.whatIf = reviewTexts::shiftNeedsDate;
            } else {
                assessment.whatIf = reviewTexts::stillNoDate;
            }
        }
        if (!records::matches(built->scope, photo)) continue;
        const auto before = records::resolveDate(photo, configuration, corrections).resolved;
        const auto after = records::resolveDate(photo, configuration, proposed).resolved;
        if (after && before != after) assessment.canApply = true;
    }
    if (!assessment.canApply) assessment.disabledReason = reviewTexts::alreadyApplied;
    return assessment;
}

std::string resultsHeadline(const exporting::BatchSummary& summary) {
    if (summary.wasCancelled) return "Export cancelled";
    if (summary.count(exporting::FileOutcome::Kind::stamped) == 0) return "Nothing was exported";
    if (summary.count(exporting::FileOutcome::Kind::failed) > 0) return "Export finished with failures";
    return "Export finished";
}

bool resultsAreWarning(const exporting::BatchSummary& summary) {
    return summary.wasCancelled || summary.count(exporting::FileOutcome::Kind::stamped) == 0 ||
           summary.count(exporting::FileOutcome::Kind::failed) > 0;
}

std::string failureLine(const exporting::FileResult& result) {
    const std::string name = result.source.filename().string();
    const std::string& reason = result.outcome.failureText();
    if (!name.empty() && reason.find(name) != std::string::npos) return reason;
    return name + " \u2014 " + reason;
}

std::vector<std::string> resultCountLines(const exporting::BatchSummary& summary) {
    using Kind = exporting::FileOutcome::Kind;
    std::vector<std::string> lines;
    if (auto n = summary.count(Kind::stamped))
        lines.push_back(std::to_string(n) + " of " + std::to_string(summary.results.size()) + " exported");
    if (auto n = summary.count(Kind::skippedNoDate)) lines.push_back(std::to_string(n) + " skipped with no capture date");
    if (auto n = summary.count(Kind::failed)) lines.push_back(std::to_string(n) + " failed");
    if (auto n = summary.count(Kind::notProcessed)) lines.push_back(std::to_string(n) + " not processed");
    return lines;
}

bool hasUnfinished(const exporting::BatchSummary& summary) { return !summary.unfinishedSources().empty(); }

}  // namespace veltrop::app
