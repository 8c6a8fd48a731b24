#include "cli/preset_lookup.h"

#include <algorithm>

namespace veltrop::cli {

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string inQuotes(std::string_view text) { return "\u201C" + std::string(text) + "\u201D"; }

}  // namespace

PresetListing listPresets() {
    PresetListing listing;
    auto store = storage::PresetStore::standard();
    if (!store) {
        listing.problem = store.error().description();
    } else if (auto loaded = store->load(); !loaded) {
        listing.problem = loaded.error().description();
    } else if (!loaded->empty()) {
        listing.presets = std::move(*loaded);
        listing.fromFile = true;
    }
    if (listing.presets.empty()) listing.presets = storage::builtIns();
    return listing;
}

std::expected<settings::Preset, std::string> findPreset(const PresetListing& listing, std::string_view nameOrID) {
    std::vector<settings::Preset> candidates = listing.presets;
    for (const auto& builtIn : storage::builtIns())
        if (std::ranges::none_of(candidates, [&](const auto& p) { return p.id == builtIn.id; }))
            candidates.push_back(builtIn);
    if (const auto id = settings::Uuid::parse(nameOrID)) {
        for (const auto& preset : candidates)
            if (preset.id == *id) return preset;
    }
    std::vector<settings::Preset> named;
    for (const auto& preset : candidates)
        if (preset.name == nameOrID) named.push_back(preset);
    if (named.empty())
        for (const auto& preset : candidates)
            if (equalIgnoringCase(preset.name, nameOrID)) named.push_back(preset);
    if (named.empty()) return std::unexpected("No preset is called " + inQuotes(nameOrID));
    if (named.size() == 1) return named.front();
    // Taking the first would be a guess; the ids tell them apart.
    std::string message = "More than one preset is called " + inQuotes(nameOrID) + "; name one by its id:";
    for (const auto& preset : named) message += "\n  " + preset.id.text() + "  " + preset.name;
    return std::unexpected(message);
}

std::string unusedPresetName(const std::vector<settings::Preset>& presets, const std::string& name) {
    const auto taken = [&](const std::string& candidate) {
        return std::ranges::any_of(presets, [&](const auto& p) { return equalIgnoringCase(p.name, candidate); });
    };
    if (!taken(name)) return name;
    for (int number = 2;; ++number) {
        std::string candidate = name + " " + std::to_string(number);
        if (!taken(candidate)) return candidate;
    }
}

}  // namespace veltrop::cli
