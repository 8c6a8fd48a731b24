#include <array>
#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/record_options.h"
#include "kit/dates/capture_date.h"
#include "kit/settings/stamp_format.h"

namespace veltrop::cli {

namespace {

constexpr std::array<OptionSpec, 2> options{{{"--date", true}, {"--retro", false}}};

int runFormat(const Invocation& invocation) {
    const auto parsed = parseArguments(invocation.arguments, options);
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.size() != 1)
        return invocation.usageError(parsed->positionals.empty() ? "missing PATTERN" : "expected one PATTERN");

    dates::CaptureDate date = settings::sampleDate();
    if (const auto text = parsed->value("--date")) {
        const auto given = parseDateArgument(*text);
        if (!given)
            return invocation.usageError("\u201C" + *text +
                                         "\u201D is not a date like \"2026-08-14 06:17:49\" or \"2026:08:14 06:17:49\"");
        date = *given;
    }

    const std::string formatted = settings::format(date, parsed->positionals.front());
    invocation.out << formatted << "\n";
    if (parsed->has("--retro")) {
        const std::string unsupported = settings::unsupportedRetroCharacters(formatted);
        if (!unsupported.empty()) {
            invocation.err << "The retro display cannot show \u201C" << unsupported
                           << "\u201D. Choose a numeric format.\n";
            return exitFailure;
        }
    }
    return exitSuccess;
}

}  // namespace

const Command formatCommand{
    "format",
    "Print a date pattern formatted on a date",
    "Usage: veltrop-cli format [OPTIONS] PATTERN\n"
    "\n"
    "Prints PATTERN formatted on the date, by default the sample date 2026-08-14 06:17:49.\n"
    "\n"
    "Options:\n"
    "  --date DATE   the date to format: \"YYYY-MM-DD HH:MM:SS\" or, as in EXIF,\n"
    "                \"YYYY:MM:DD HH:MM:SS\"\n"
    "  --retro       also check the result against the retro display; exit 1 and name\n"
    "                the characters it cannot show\n"
    "  -h, --help    show this help\n",
    runFormat,
};

}  // namespace veltrop::cli
