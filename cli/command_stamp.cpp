#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/stamp_options.h"
#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/output_planner.h"
#include "kit/export/path_key.h"
#include "kit/export/photo_discovery.h"

namespace veltrop::cli {

namespace {

constexpr std::string_view noUsableDate =
    "No usable date. Review dates to supply one, or export without a timestamp.";

int runStamp(const Invocation& invocation) {
    auto parsed = parseArguments(invocation.arguments, stampOptionSpecs);
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.size() != 2) return invocation.usageError("give one INPUT photo and one OUTPUT file");

    auto setup = stampSetup(*parsed, settings::defaultConfiguration());
    if (!setup) return invocation.usageError(setup.error());
    const settings::StampConfiguration& configuration = setup->configuration;
    if (auto problem = settings::validate(configuration, setup->watermarkImage.has_value())) {
        invocation.err << settings::description(*problem) << "\n";
        return exitFailure;
    }

    const std::filesystem::path input = parsed->positionals[0];
    const std::filesystem::path output = exporting::standardized(parsed->positionals[1]);
    if (exporting::pathKey(input) == exporting::pathKey(output)) {
        invocation.err << exporting::OutputError::wouldOverwriteSource(output).description() << "\n";
        return exitFailure;
    }
    exporting::ImageLoader::prepare();
    auto photos = exporting::PhotoDiscovery::makePhotos({input}, {input});
    exporting::StampPlan plan{photos.front(), std::nullopt, output, std::nullopt,
                              records::makeRecord(photos.front(), 0, configuration, {}, std::nullopt)};
    plan.date = plan.record.resolvedDate;
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
    return exitSuccess;
}

const std::string stampUsage = std::string(
    "usage: veltrop-cli stamp INPUT OUTPUT [OPTIONS]\n\n"
    "Stamps one photo with its recorded capture date exactly as an export does\n"
    "and writes the copy to OUTPUT. An existing OUTPUT is never replaced.\n\n"
    "Options:\n") + std::string(stampOptionsHelp);

}  // namespace

extern const Command stampCommand{"stamp", "stamp one photo into a new JPEG file", stampUsage, runStamp};

}  // namespace veltrop::cli
