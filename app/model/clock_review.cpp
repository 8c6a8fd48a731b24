#include "app/model/clock_review.h"

#include <algorithm>

#include "kit/dates/exif_fields.h"
#include "kit/records/photo_record.h"

namespace veltrop::app {

namespace {

std::string headingOf(const records::ClockProposal& proposal) {
    const std::int64_t shift = proposal.rule.offsetSeconds;
    return records::label(proposal.rule.scope) + " \u2014 shift " + (shift < 0 ? "\u2212" : "+") +
           records::durationText(static_cast<double>(shift));
}

bool holds(std::span<const records::DateCorrectionRule> corrections, const records::DateCorrectionRule& rule) {
    return std::ranges::any_of(corrections, [&](const records::DateCorrectionRule& existing) {
        return !existing.suppliedDate && existing.scope == rule.scope && existing.offsetSeconds == rule.offsetSeconds;
    });
}

}  // namespace

ClockSuggestions clockSuggestions(const std::vector<records::DiscoveredPhoto>& photos,
                                  std::span<const records::DateCorrectionRule> corrections,
                                  const std::optional<records::SyncShot>& syncShot) {
    const records::ClockCheck check = records::checkClocks(photos);
    std::vector<records::ClockProposal> proposals = check.proposals;
    ClockSuggestions result;
    if (syncShot) {
        auto proposal = records::syncProposal(photos, check, *syncShot);
        if (proposal)
            proposals.push_back(std::move(*proposal));
        else
            result.syncProblem = proposal.error().description();
    }
    for (auto& proposal : proposals) {
        const bool applied = holds(corrections, proposal.rule);
        result.suggestions.push_back({proposal, headingOf(proposal), applied});
    }
    return result;
}

std::vector<SyncChoice> syncChoices(const std::vector<records::DiscoveredPhoto>& photos) {
    std::vector<SyncChoice> choices;
    for (const auto& photo : photos) {
        if (!photo.captureDate || photo.captureDate->source != dates::CaptureDateSource::dateTimeOriginal) continue;
        const std::string camera = dates::cameraText(photo.exif).value_or(std::string(records::unknownCamera));
        choices.push_back({photo.url, photo.url.filename().string() + "  \u00b7  " + camera + "  \u00b7  " +
                                          dates::text(*photo.captureDate)});
    }
    return choices;
}

}  // namespace veltrop::app
