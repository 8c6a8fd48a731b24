#pragma once
// The options that describe a stamp, shared by `stamp` and `export`.

#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "cli/arguments.h"
#include "kit/image/bitmap.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::cli {

extern const std::vector<OptionSpec> stampOptionSpecs;
extern const std::string_view stampOptionsHelp;

struct StampSetup {
    settings::StampConfiguration configuration;
    std::optional<image::Bitmap> watermarkImage;
};

// Starts from `base` (or the --config file) and applies the options on top.
// Fails with a message for the user.
[[nodiscard]] std::expected<StampSetup, std::string> stampSetup(const ParsedArguments& parsed,
                                                                settings::StampConfiguration base);

}  // namespace veltrop::cli
