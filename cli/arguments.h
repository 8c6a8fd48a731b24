#pragma once
// The option parsing every command shares: "--name value", "--name=value",
// flags, "-h"/"--help", and "--" to end the options.

#include <expected>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace veltrop::cli {

struct OptionSpec {
    std::string_view name;  // with its dashes: "--date"
    bool takesValue = false;
};

struct ParsedArguments {
    bool help = false;  // -h or --help was given; nothing else was checked
    std::vector<std::string> positionals;
    std::set<std::string, std::less<>> flags;
    std::map<std::string, std::string, std::less<>> values;  // the last value of each option
    std::vector<std::pair<std::string, std::string>> ordered;  // every valued option, in command-line order

    bool has(std::string_view flag) const { return flags.contains(flag); }
    std::optional<std::string> value(std::string_view option) const;
};

// Fails with the message to show for an unknown option or a missing value.
[[nodiscard]] std::expected<ParsedArguments, std::string> parseArguments(std::span<const std::string> arguments,
                                                                         std::span<const OptionSpec> options);

}  // namespace veltrop::cli
