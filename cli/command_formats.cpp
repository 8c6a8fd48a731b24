#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "kit/settings/stamp_format.h"

namespace veltrop::cli {

namespace {

int runFormats(const Invocation& invocation) {
    const auto parsed = parseArguments(invocation.arguments, {});
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (!parsed->positionals.empty())
        return invocation.usageError("unexpected argument \u201C" + parsed->positionals.front() + "\u201D");

    for (const auto& format : settings::builtInFormats()) invocation.out << format.pattern << "\t" << format.name << "\n";
    return exitSuccess;
}

}  // namespace

const Command formatsCommand{
    "formats",
    "List the built-in date formats",
    "Usage: veltrop-cli formats\n"
    "\n"
    "Lists the built-in date formats, one per line: the pattern, a tab, and its name\n"
    "(the pattern formatted on the sample date).\n"
    "\n"
    "Options:\n"
    "  -h, --help    show this help\n",
    runFormats,
};

}  // namespace veltrop::cli
