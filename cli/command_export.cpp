#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/interruption.h"
#include "cli/json_output.h"
#include "cli/record_options.h"
#include "cli/stamp_options.h"
#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/records/path_key.h"
#include "kit/export/photo_discovery.h"
#include "kit/handover/contact_sheet.h"
#include "kit/handover/handover_package.h"
#include "kit/handover/package_checksums.h"

namespace veltrop::cli {

namespace {

using exporting::FileOutcome;

std::vector<OptionSpec> exportOptionSpecs() {
    std::vector<OptionSpec> specs = stampOptionSpecs;
    specs.insert(specs.end(), recordOptionSpecs.begin(), recordOptionSpecs.end());
    specs.insert(specs.end(), {{"--out", true},
                               {"--template", true},
                               {"--jobs", true},
                               {"--package", true},
                               {"--json", false},
                               {"-q", false},
                               {"--quiet", false},
                               {"-v", false},
                               {"--verbose", false}});
    return specs;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

enum class Verbosity { quiet, normal, verbose };

class ProgressReporter {
public:
    ProgressReporter(std::ostream& err, std::size_t total, Verbosity verbosity)
        : err_(err), total_(total), verbosity_(verbosity), terminal_(::isatty(STDERR_FILENO) == 1),
          start_(Clock::now()) {}

    void operator()(std::size_t finished) {
        if (verbosity_ == Verbosity::quiet) return;
        if (!terminal_) {
            err_ << finished << "/" << total_ << "\n" << std::flush;
            return;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(finished) / seconds : 0;
        constexpr int width = 30;
        const int filled = static_cast<int>(width * finished / std::max<std::size_t>(total_, 1));
        const double left = rate > 0 ? static_cast<double>(total_ - finished) / rate : 0;
        char line[160];
        std::snprintf(line, sizeof line, "\r[%s%s] %zu/%zu  %.1f photos/s  %d:%02d left ",
                      std::string(static_cast<std::size_t>(filled), '#').c_str(),
                      std::string(static_cast<std::size_t>(width - filled), ' ').c_str(), finished, total_, rate,
                      static_cast<int>(left) / 60, static_cast<int>(left) % 60);
        err_ << line << (finished == total_ ? "\n" : "") << std::flush;
    }

    // A bar left half-drawn by a cancelled batch gets its line ended.
    void finish(std::size_t finished) {
        if (verbosity_ != Verbosity::quiet && terminal_ && finished < total_) err_ << "\n";
    }

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& err_;
    std::size_t total_;
    Verbosity verbosity_;
    bool terminal_;
    Clock::time_point start_;
};

std::string_view outcomeName(FileOutcome::Kind kind) {
    switch (kind) {
        case FileOutcome::Kind::stamped: return "stamped";
        case FileOutcome::Kind::failed: return "failed";
        case FileOutcome::Kind::skippedNoDate: return "skippedNoDate";
        case FileOutcome::Kind::notProcessed: return "notProcessed";
    }
    return {};
}

void printResultLine(std::ostream& out, const exporting::FileResult& result) {
    switch (result.outcome.kind) {
        case FileOutcome::Kind::stamped:
            out << "Stamped: " << result.source.string() << " \u2192 " << result.outcome.destination.string() << "\n";
            return;
        case FileOutcome::Kind::failed:
            out << "Failed: " << result.source.string() << " \u2014 " << result.outcome.failureText() << "\n";
            return;
        case FileOutcome::Kind::skippedNoDate:
            out << "Skipped (no usable date): " << result.source.string() << "\n";
            return;
        case FileOutcome::Kind::notProcessed: out << "Not processed: " << result.source.string() << "\n"; return;
    }
}

void printSummary(std::ostream& out, const exporting::BatchSummary& summary,
                  const std::optional<handover::HandoverPackageResult>& handover, Verbosity verbosity) {
    if (verbosity == Verbosity::verbose)
        for (const auto& result : summary.results) printResultLine(out, result);
    out << "Stamped " << summary.count(FileOutcome::Kind::stamped) << " \u00b7 Failed "
        << summary.count(FileOutcome::Kind::failed) << " \u00b7 Skipped (no usable date) "
        << summary.count(FileOutcome::Kind::skippedNoDate) << " \u00b7 Not processed "
        << summary.count(FileOutcome::Kind::notProcessed) << (summary.wasCancelled ? " \u00b7 Cancelled" : "")
        << "\n";
    if (verbosity != Verbosity::verbose)
        for (const auto& result : summary.results)
            if (result.outcome.kind == FileOutcome::Kind::failed) printResultLine(out, result);
    for (const auto& root : summary.outputRoots) out << "Output: " << root.string() << "\n";
    if (handover) {
        out << "Package: " << handover->root.string() << "\n";
        if (handover->index) out << "Photo index: " << handover->index->string() << "\n";
        if (handover->contactSheet) out << "Contact sheet: " << handover->contactSheet->string() << "\n";
        if (handover->error) out << *handover->error << "\n";
    }
}

json::Value summaryJson(const exporting::BatchSummary& summary,
                           const std::optional<handover::HandoverPackageResult>& handover, const RecordOptions& options,
                           const std::vector<std::size_t>& changed) {
    using json::Object;
    using json::Value;
    json::Array results;
    for (const auto& result : summary.results) {
        const bool stamped = result.outcome.kind == FileOutcome::Kind::stamped;
        const bool failed = result.outcome.kind == FileOutcome::Kind::failed;
        results.emplace_back(Object{
            {"source", result.source.string()},
            {"outcome", outcomeName(result.outcome.kind)},
            {"destination", stamped ? Value(result.outcome.destination.string()) : Value()},
            {"failure", failed ? Value(result.outcome.failureText()) : Value()},
            {"lossless", stamped && result.outcome.lossless},
            {"losslessFallback",
             stamped && !result.outcome.losslessFallback.empty() ? Value(result.outcome.losslessFallback) : Value()},
            {"record", result.record ? recordJson(*result.record) : Value()},
        });
    }
    json::Array roots;
    for (const auto& root : summary.outputRoots) roots.emplace_back(root.string());
    Value counts(Object{});
    for (const auto kind : {FileOutcome::Kind::stamped, FileOutcome::Kind::failed, FileOutcome::Kind::skippedNoDate,
                            FileOutcome::Kind::notProcessed})
        counts.set(outcomeName(kind), summary.count(kind));
    Value object(Object{{"results", std::move(results)},
                        {"outputRoots", std::move(roots)},
                {"wasCancelled", summary.wasCancelled},
                        {"counts", std::move(counts)},
                        {"corrections", correctionEffectsJson(options, changed)}});
    if (handover) {
        const auto path = [](const std::optional<std::filesystem::path>& p) {
            return p ? Value(p->string()) : Value();
        };
        object.set("package", Object{{"folder", handover->root.string()},
                                     {"index", path(handover->index)},
                                     {"contactSheet", path(handover->contactSheet)},
                                     {"error", handover->error ? Value(*handover->error) : Value()}});
    }
    return object;
}

// The folder that takes the package: made with its parents when missing.
[[nodiscard]] std::expected<std::filesystem::path, std::string> packageFolder(const std::filesystem::path& parent,
                                                                              std::string_view title) {
    const std::string named = "\u201C" + parent.string() + "\u201D";
    std::error_code error;
    if (std::filesystem::exists(parent, error) && !std::filesystem::is_directory(parent, error))
        return std::unexpected("Could not create a new handover folder in " + named + ": it is not a folder");
    std::filesystem::create_directories(parent, error);
    if (error)
        return std::unexpected("Could not create the folder " + named + " for the handover package: " +
                               error.message());
    auto created = handover::HandoverPackage::createPackageFolder(parent, title);
    if (created) return *created;
    std::string reason = created.error().description();
    // The kit's sentence names no cause; the usual one is a folder we may not write into.
    if (::access(parent.c_str(), W_OK | X_OK) != 0)
        return std::unexpected(reason + " in " + named + ": " + std::strerror(errno));
    return std::unexpected(reason + " in " + named);
}

int runExport(const Invocation& invocation) {
    const auto specs = exportOptionSpecs();
    auto parsed = parseArguments(invocation.arguments, specs);
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.empty()) return invocation.usageError("name at least one photo or folder");
    const bool quiet = parsed->has("-q") || parsed->has("--quiet");
    const bool verbose = parsed->has("-v") || parsed->has("--verbose");
    if (quiet && verbose) return invocation.usageError("give either --quiet or --verbose, not both");
    const Verbosity verbosity = quiet ? Verbosity::quiet : verbose ? Verbosity::verbose : Verbosity::normal;
    const bool asJson = parsed->has("--json");

    auto setup = stampSetup(*parsed, settings::defaultConfiguration());
    if (!setup) return invocation.usageError(setup.error());
    settings::StampConfiguration& configuration = setup->configuration;
    auto options = readRecordOptions(*parsed, configuration);
    if (!options) return invocation.usageError(options.error());
    if (auto out = parsed->value("--out")) configuration.outputRoot = records::standardized(*out);
    if (auto naming = parsed->value("--template")) configuration.naming.template_ = *naming;
    int jobs = 4;
    if (auto text = parsed->value("--jobs")) {
        auto number = parseInteger(*text);
        if (!number || *number < 1 || *number > 64) return invocation.usageError("--jobs takes a number from 1 to 64");
        jobs = static_cast<int>(*number);
    }

    std::vector<std::filesystem::path> excluded;
    if (configuration.outputRoot) excluded.push_back(*configuration.outputRoot);
    exporting::ImageLoader::prepare();  // before any worker thread starts
    const auto photos = discoverPhotos(parsed->positionals, configuration.includeSubfolders, excluded);
    // Files named on the command line are all accounted for, also those that are no photo.
    std::vector<std::filesystem::path> dropped;
    for (const auto& path : parsed->positionals) dropped.push_back(records::standardized(path));
    const auto refused = exporting::PhotoDiscovery::refusedInputs(dropped);
    if (photos.empty()) {
        for (const auto& input : refused) invocation.err << input.reason << "\n";
        invocation.err << "No photos found.\n";
        return exitFailure;
    }
    // Nothing is written while a correction misses its photos.
    if (auto unmatched = unmatchedCorrections(*options, photos)) return invocation.usageError(*unmatched);

    // A package folder is made first; the copies then go into its Photos folder.
    std::optional<std::filesystem::path> package;
    if (auto parent = parsed->value("--package")) {
        settings::PhotoProject project = configuration.project.value_or(settings::defaultProject());
        project.includeHandoverPackage = true;
        configuration.project = project;
        auto created = packageFolder(records::standardized(*parent), project.title);
        if (!created) {
            invocation.err << created.error() << "\n";
            return exitFailure;
        }
        package = *created;
        configuration.outputRoot = handover::HandoverPackage::photosFolder(*created);
    }

    const auto rules = options->rules();
    // In a package each copy and its original are hashed as soon as the copy is written.
    auto digests = std::make_shared<handover::PackageDigests>();
    exporting::BatchProcessor processor(jobs, std::nullopt,
                                        package ? handover::hashingStep(exporting::stampPhoto, digests)
                                                : exporting::BatchProcessor::StampStep(exporting::stampPhoto));
    if (package) handover::ContactSheet::keepThumbnails(processor);
    ProgressReporter progress(invocation.err, photos.size(), verbosity);
    std::size_t finished = 0;
    exporting::BatchSummary summary;
    std::optional<int> signal;
    {
        BatchInterruption interruption(processor);
        summary = processor.run(photos, configuration, setup->watermarkImage, rules, options->expectedRange,
                                [&](std::size_t count) {
                                    // A signal caught before the run began is honoured here.
                                    if (interruption.signal()) processor.cancel();
                                    finished = count;
                                    progress(count);
                                });
        signal = interruption.signal();
    }
    progress.finish(finished);
    for (const auto& input : refused)
        summary.results.push_back({input.location, exporting::FileOutcome::failed(exporting::InputRefused{input.reason}), std::nullopt});
    std::optional<handover::HandoverPackageResult> reports;
    if (package)
        reports = handover::HandoverPackage::buildReports(summary, *package, configuration, digests.get(),
                                                                   processor.thumbnails().get());

    const auto changed = correctionEffects(*options, photos, configuration);
    if (asJson) {
        printJson(invocation.out, summaryJson(summary, reports, *options, changed));
        if (verbosity == Verbosity::verbose)
            for (const auto& result : summary.results) printResultLine(invocation.err, result);
    } else {
        printSummary(invocation.out, summary, reports, verbosity);
        printCorrectionEffects(invocation.out, *options, changed);
    }
    invocation.out.flush();
    std::vector<const records::PhotoRecord*> records;
    for (const auto& result : summary.results)
        if (result.record) records.push_back(&*result.record);
    const bool outside = reportOutsideRange(invocation.err, *options, records);

    if (signal) return exitStatusForSignal(*signal);
    const bool reportsMissing = reports && reports->error;
    const bool clean = !summary.wasCancelled && summary.count(FileOutcome::Kind::failed) == 0 && !reportsMissing &&
                       !outside;
    return clean ? exitSuccess : exitFailure;
}

const std::string exportUsage = std::string(
    "Usage: veltrop-cli export [OPTIONS] PATH...\n\n"
    "Finds the photos in the given files and folders and writes stamped copies:\n"
    "into a \"Timestamped\" folder beside them, or into --out DIR. Originals are\n"
    "never changed and no existing file is replaced. Progress goes to standard\n"
    "error, the summary to standard output; photos outside the --expect days\n"
    "are listed on standard error after it. Ctrl-C or SIGTERM cancels: photos in\n"
    "progress finish, the rest are left, and the summary is still printed.\n\n"
    "Stamp options:\n") + std::string(stampOptionsHelp) +
    "\nOutput options:\n"
    "  --out DIR                 write every copy into DIR\n"
    "  --template T              file name template, e.g. \"{reference} {name}\"\n"
    "  --jobs N                  photos processed at once (default 4)\n"
    "  --package DIR             make a handover package in DIR (created when missing):\n"
    "                            the copies in its Photos folder, a photo index (CSV)\n"
    "                            and a contact sheet (PDF)\n"
    "\nPhoto and date options:\n" + std::string(recordOptionsHelp) +
    "\nReporting options:\n"
    "  --json                    print the summary as one JSON object: every photo's\n"
    "                            outcome, copy and record, the output folders and the package\n"
    "  -q, --quiet               no progress; only errors and the summary\n"
    "  -v, --verbose             one line per photo with its outcome and copy\n"
    "                            (on standard error with --json)\n"
    "  -h, --help                show this help\n"
    "\nExamples:\n"
    "  veltrop-cli export ~/Survey/Day1\n"
    "  veltrop-cli export ~/Survey --project \"North bridge\" --prefix NB \\\n"
    "      --shift \"+1h30m@camera=NIKON D3100\" --expect 2026-08-01..2026-08-31\n"
    "  veltrop-cli export ~/Survey --package ~/Handover --json > summary.json\n"
    "\nExit status:\n"
    "  0    every photo was stamped or skipped for want of a date\n"
    "  1    some photo failed, lies outside --expect, or a report is missing\n"
    "  2    the command line is wrong, or a correction matches no photo\n"
    "  130  cancelled by Ctrl-C (143 by SIGTERM)\n";

}  // namespace

extern const Command exportCommand{"export", "Stamp every photo of folders and files", exportUsage, runExport};

}  // namespace veltrop::cli
