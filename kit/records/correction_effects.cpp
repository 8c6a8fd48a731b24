#include "kit/records/correction_effects.h"

#include <algorithm>

namespace veltrop::records {

std::vector<std::size_t> rulesMatchingNothing(std::span<const DateCorrectionRule> rules,
                                              std::span<const records::DiscoveredPhoto> photos) {
    const CorrectionRules prepared(rules);
    std::vector<bool> matched(rules.size(), false);
    for (const auto& photo : photos) prepared.markMatches(photo, matched);
    std::vector<std::size_t> unmatched;
    for (std::size_t i = 0; i < rules.size(); ++i)
        if (!matched[i]) unmatched.push_back(i);
    return unmatched;
}

std::vector<std::size_t> changedPhotoCounts(std::span<const DateCorrectionRule> rules,
                                            std::span<const records::DiscoveredPhoto> photos,
                                            const settings::StampConfiguration& configuration) {
    std::vector<std::size_t> counts(rules.size(), 0);
    const CorrectionRules prepared(rules);
    for (const auto& photo : photos) {
        const DateResolution resolution = resolveDate(photo, configuration, prepared);
        if (!resolution.matchedRule || !resolution.resolved) continue;
        // Dates compare by their text; a supplied date equal to the recorded one changes nothing.
        if (resolution.base && dates::text(*resolution.base) == dates::text(*resolution.resolved)) continue;
        const auto rule = std::ranges::find(rules, resolution.matchedRule->id, &DateCorrectionRule::id);
        if (rule != rules.end()) ++counts[static_cast<std::size_t>(rule - rules.begin())];
    }
    return counts;
}

}  // namespace veltrop::records
