#include "cli/cli.h"

#include <array>
#include <ostream>

#include "cli/command.h"

namespace veltrop::cli {

namespace {

// Every command, in the order the help lists them.
const std::array<const Command*, 9> commandTable{&formatCommand, &formatsCommand, &configCommand, &inspectCommand,
                                                 &stampCommand,  &exportCommand,  &presetsCommand,
                                                 &clocksCommand, &verifyCommand};

constexpr std::string_view programName = "veltrop-cli";

void printOverview(std::ostream& out) {
    out << "usage: " << programName << " COMMAND [OPTIONS]\n\nCommands:\n";
    std::size_t width = 0;
    for (const Command* command : commandTable) width = std::max(width, command->name.size());
    for (const Command* command : commandTable)
        out << "  " << command->name << std::string(width - command->name.size() + 3, ' ') << command->summary
            << "\n";
    out << "\nRun '" << programName << " COMMAND --help' for a command's options.\n";
}

}  // namespace

int Invocation::help() const {
    out << command.usage;
    return exitSuccess;
}

int Invocation::usageError(std::string_view message) const {
    err << programName << " " << command.name << ": " << message << "\n"
        << "Run '" << programName << " " << command.name << " --help' for usage.\n";
    return exitUsage;
}

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.empty()) {
        printOverview(err);
        return exitUsage;
    }
    const std::string& name = arguments.front();
    if (name == "-h" || name == "--help" || name == "help") {
        printOverview(out);
        return exitSuccess;
    }
    if (name == "--version") {
        out << programName << " " << VELTROP_VERSION << "\n";
        return exitSuccess;
    }
    for (const Command* command : commandTable) {
        if (command->name != name) continue;
        const Invocation invocation{*command, std::span(arguments).subspan(1), out, err};
        return command->handler(invocation);
    }
    err << programName << ": " << (name.starts_with("-") ? "unknown option" : "unknown command") << " \u201C"
        << name << "\u201D\n"
        << "Run '" << programName << " --help' for the list of commands.\n";
    return exitUsage;
}

}  // namespace veltrop::cli
