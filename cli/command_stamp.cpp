#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/record_options.h"
#include "cli/stamp_options.h"
#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/output_planner.h"
#include "kit/records/copy_date.h"
#include "kit/records/path_key.h"
#include "kit/export/photo_discovery.h"

namespace veltrop::cli {

namespace {

constexpr std::string_view noUsableDate =
    "No usable date. Review dates to supply one, or export without a timestamp.";

bool hasJpegName(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".jpg" || extension == ".jpeg";
}

std::vector<OptionSpec> stampCommandSpecs() {
    std::vector<OptionSpec> specs = stampOptionSpecs;
    specs.insert(specs.end(), {{"--shift", true}, {"--supply", true}});
    return specs;
}

int runStamp(const Invocation& invocation) {
    auto parsed = parseArguments(invocation.arguments, stampCommandSpecs());
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.size() != 2) return invocation.usageError("give one INPUT photo and one OUTPUT file");
    if (!hasJpegName(parsed->positionals[1]))
        return invocation.usageError("the copy is a JPEG file: give OUTPUT a name ending in .jpg or .jpeg");

    auto setup = stampSetup(*parsed, settings::defaultConfiguration());
    if (!setup) return invocation.usageError(setup.error());
    const auto corrections = readRecordOptions(*parsed, setup->configuration);
    if (!corrections) return invocation.usageError(corrections.error());
    const settings::StampConfiguration& configuration = setup->configuration;
    if (auto problem = settings::validate(configuration, setup->watermarkImage.has_value())) {
        invocation.err << settings::description(*problem) << "\n";
        return exitFailure;
    }

    const std::filesystem::path input = parsed->positionals[0];
    const std::filesystem::path output = records::standardized(parsed->positionals[1]);
    if (records::pathKey(input) == records::pathKey(output)) {
        invocation.err << exporting::OutputError::wouldOverwriteSource(output).description() << "\n";
        return exitFailure;
    }
    exporting::ImageLoader::prepare();
    // A photo that cannot be read says so, rather than that it has no date.
    auto info = exporting::ImageLoader::readInfo(input);
    if (!info) {
        invocation.err << info.error().description() << "\n";
        return exitFailure;
    }
    auto photos = exporting::PhotoDiscovery::makePhotos(
        {input}, {input}, [&info](const std::filesystem::path&) { return std::optional(*info); });
    // A scope that names another photo or camera is a mistake, not a no-op.
    if (auto unmatched = unmatchedCorrections(*corrections, photos)) {
        invocation.err << *unmatched << "\n";
        return exitFailure;
    }
    const auto rules = corrections->rules();
    exporting::StampPlan plan{photos.front(), std::nullopt, output, std::nullopt,
                              records::makeRecord(photos.front(), 0, configuration, rules, std::nullopt)};
    if (plan.record.error) {
        invocation.err << records::description(*plan.record.error) << "\n";
        return exitFailure;
    }
    plan.date = plan.record.resolvedDate;
    plan.copyDate =
        records::copyDate(photos.front(), records::resolveDate(photos.front(), configuration, rules), configuration);
    if (!plan.date && settings::needsCaptureDate(configuration)) {
        invocation.err << noUsableDate << "\n";
        return exitFailure;
    }
    const auto outcome = exporting::stampPhoto(plan, {configuration, setup->watermarkImage});
    if (outcome.kind != exporting::FileOutcome::Kind::stamped) {
        invocation.err << outcome.failureText() << "\n";
        return exitFailure;
    }
    invocation.out << outcome.destination.string() << "\n";
    // Asked to keep the quality but encoded anew: say why.
    if (!outcome.losslessFallback.empty()) invocation.err << outcome.losslessFallback << "\n";
    return exitSuccess;
}

const std::string stampUsage = std::string(
    "Usage: veltrop-cli stamp [OPTIONS] INPUT OUTPUT\n\n"
    "Stamps one photo with its recorded capture date, or the date a correction\n"
    "gives it, exactly as an export does and writes the copy, a JPEG file, to\n"
    "OUTPUT (a name ending in .jpg or .jpeg). An existing OUTPUT is never replaced.\n\n"
    "Options:\n") + std::string(stampOptionsHelp) +
    "  --shift ±[Nd][Nh][Nm][Ns]\n"
    "                            shift the photo's clock, e.g. +1h30m, -2d, +45s\n"
    "  --supply DATE             use this date, e.g. \"2026-08-14 06:17:49\"\n"
    "  -h, --help                show this help\n"
    "\nExit status:\n"
    "  0  the copy was written\n"
    "  1  the photo could not be stamped or the copy not written\n"
    "  2  the command line is wrong\n";

}  // namespace

extern const Command stampCommand{"stamp", "Stamp one photo into a new JPEG file", stampUsage, runStamp};

}  // namespace veltrop::cli
