#include "cli/arguments.h"

#include <algorithm>

namespace veltrop::cli {

namespace {

bool isHelp(std::string_view argument) { return argument == "-h" || argument == "--help"; }

}  // namespace

std::optional<std::string> ParsedArguments::value(std::string_view option) const {
    const auto found = values.find(option);
    if (found == values.end()) return std::nullopt;
    return found->second;
}

std::expected<ParsedArguments, std::string> parseArguments(std::span<const std::string> arguments,
                                                           std::span<const OptionSpec> options) {
    ParsedArguments parsed;
    // Help wins over everything else on the line, so that a half-typed
    // command still shows how to finish it.
    for (const auto& argument : arguments) {
        if (argument == "--") break;
        if (isHelp(argument)) {
            parsed.help = true;
            return parsed;
        }
    }

    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument == "-" || !argument.starts_with("-")) {
            parsed.positionals.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        const auto equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const auto option = std::ranges::find(options, std::string_view(name), &OptionSpec::name);
        if (option == options.end()) return std::unexpected("unknown option \u201C" + name + "\u201D");
        if (!option->takesValue) {
            if (equals != std::string::npos) return std::unexpected("option \u201C" + name + "\u201D takes no value");
            parsed.flags.insert(name);
            continue;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return std::unexpected("option \u201C" + name + "\u201D needs a value");
        }
        parsed.values[name] = value;
        parsed.ordered.emplace_back(name, std::move(value));
    }
    return parsed;
}

}  // namespace veltrop::cli
