#include "app/model/status_text.h"

namespace veltrop::app {

std::string retroWarningText(const std::string& characters) {
    return "The retro display cannot show \u201C" + characters + "\u201D. Choose a numeric format.";
}

std::optional<std::string> exportBlockedReason(const ExportFacts& facts) {
    if (facts.isRunning) return statusTexts::running;
    // An empty window asks for photos first; the settings can wait.
    if (facts.photoCount == 0) return statusTexts::addPhotos;
    if (facts.configurationProblem) return std::string(settings::description(*facts.configurationProblem));
    if (!facts.retroUnsupportedCharacters.empty()) return retroWarningText(facts.retroUnsupportedCharacters);
    if (facts.rangeInverted) return statusTexts::rangeInverted;
    if (facts.exportableCount == 0) return statusTexts::noUsableDates;
    return std::nullopt;
}

std::string statusText(const ExportFacts& facts) {
    if (auto reason = exportBlockedReason(facts)) return *reason;
    const std::size_t n = facts.exportableCount;
    std::string text = "Will stamp " + std::to_string(n) + " photo" + (n == 1 ? "" : "s");
    if (facts.photoCount > n) text += ", skipping " + std::to_string(facts.photoCount - n);
    return text;
}

}  // namespace veltrop::app
