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

// By id, or by name: exactly, then ignoring letter case; built-ins included.
// Fails with the message to show when nothing matches, or when a name
// matches several presets (the message lists their ids).
[[nodiscard]] std::expected<settings::Preset, std::string> findPreset(const PresetListing& listing,
                                                                      std::string_view nameOrID);

// The name itself when no preset has it (ignoring letter case), otherwise
// the first free "name 2", "name 3" …
std::string unusedPresetName(const std::vector<settings::Preset>& presets, const std::string& name);

}  // namespace veltrop::cli
