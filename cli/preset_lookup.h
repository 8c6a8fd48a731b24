#pragma once
// Finding saved presets from the command line, in the same file the
// application uses.

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "kit/settings/preset.h"
#include "kit/storage/preset_store.h"

namespace veltrop::cli {

struct PresetListing {
    std::vector<settings::Preset> presets;  // the user's presets, or the built-ins when there are none
    std::optional<std::string> problem;     // why the file could not be used; the built-ins stand in
    bool fromFile = false;                   // presets came from the file (it exists and holds some)
};

// Never writes anything.
PresetListing listPresets();

// By name (exactly, then ignoring case) or by id, built-ins included.
std::optional<settings::Preset> findPreset(const PresetListing& listing, std::string_view nameOrID);

}  // namespace veltrop::cli
