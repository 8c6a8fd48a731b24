#pragma once
// A named, saved configuration and the content of the presets file.

#include <cstdint>
#include <string>
#include <vector>

#include "kit/settings/stamp_configuration.h"
#include "kit/settings/uuid.h"

namespace veltrop::settings {

struct Preset {
    Uuid id;  // never changes, also across renames
    std::string name;
    StampConfiguration configuration;

    bool operator==(const Preset&) const = default;
};

struct PresetDocument {
    // Every write stores this; a newer number means a newer program wrote the file.
    static constexpr std::int64_t currentVersion = 2;

    std::int64_t version = currentVersion;
    std::vector<Preset> presets;

    bool operator==(const PresetDocument&) const = default;
};

}  // namespace veltrop::settings
