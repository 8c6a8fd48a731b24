#include "cli/preset_lookup.h"

#include <algorithm>

namespace veltrop::cli {

namespace {

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

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

std::optional<settings::Preset> findPreset(const PresetListing& listing, std::string_view nameOrID) {
    std::vector<settings::Preset> candidates = listing.presets;
    for (const auto& builtIn : storage::builtIns())
        if (std::ranges::none_of(candidates, [&](const auto& p) { return p.id == builtIn.id; }))
            candidates.push_back(builtIn);
    for (const auto& preset : candidates)
        if (preset.name == nameOrID) return preset;
    const auto id = settings::Uuid::parse(nameOrID);
    for (const auto& preset : candidates)
        if ((id && preset.id == *id) || equalIgnoringCase(preset.name, nameOrID)) return preset;
    return std::nullopt;
}

}  // namespace veltrop::cli
