#include "cli/cli.h"

#include <array>
#include <ostream>

#include "cli/command.h"

namespace veltrop::cli {

namespace {

// Every command, in the order the help lists them.
const std::array<const Command*, 10> commandTable{&exportCommand, &reviewCommand,  &stampCommand,  &inspectCommand,
                                                  &clocksCommand, &verifyCommand,  &formatCommand, &formatsCommand,
                                                  &configCommand, &presetsCommand};

constexpr std::string_view programName = "veltrop-cli";

void printOverview(std::ostream& out) {
    out << "Usage: " << programName << " COMMAND [OPTIONS]\n\n"
        << "Stamps capture dates onto new JPEG copies of photos, reviews photo dates\n"
           "and writes handover packages, from the command line.\n\nCommands:\n";
    std::size_t width = 0;
    for (const Command* command : commandTable) width = std::max(width, command->name.size());
    for (const Command* command : commandTable)
        out << "  " << command->name << std::string(width - command->name.size() + 3, ' ') << command->summary
            << "\n";
    out << "\nOptions:\n"
           "  -h, --help     show this help\n"
           "  --version      print the version\n"
           "\nRun '"
        << programName
        << " COMMAND --help' for a command's options.\n"
           "\nExit status:\n"
           "  0    success\n"
           "  1    something could not be done (a photo failed, a file could not be read)\n"
           "  2    the command line is wrong\n"
           "  130  an export was cancelled by Ctrl-C (143 by SIGTERM)\n";
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
