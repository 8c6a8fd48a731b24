#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/stamp_options.h"
#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/path_key.h"
#include "kit/handover/handover_package.h"
#include "kit/export/photo_discovery.h"
#include "kit/records/date_correction.h"

namespace veltrop::cli {

namespace {

using records::DateCorrectionRule;
using records::DateCorrectionScope;

std::vector<OptionSpec> exportOptionSpecs() {
    std::vector<OptionSpec> specs = stampOptionSpecs;
    specs.insert(specs.end(), {{"--out", true},        {"--template", true},     {"--no-subfolders", false},
                               {"--file-dates", false}, {"--jobs", true},         {"--project", true},
                               {"--location", true},    {"--prefix", true},       {"--first-number", true},
                               {"--expect", true},      {"--shift", true},        {"--supply", true},
                               {"--package", true}});
    return specs;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "all", "camera=TEXT", "folder=DIR" or "photo=FILE".
[[nodiscard]] std::expected<DateCorrectionScope, std::string> parseScope(std::string_view text) {
    if (text.empty() || text == "all") return DateCorrectionScope::all();
    const auto equals = text.find('=');
    const std::string_view kind = text.substr(0, equals);
    const std::string value = equals == std::string_view::npos ? std::string() : std::string(text.substr(equals + 1));
    if (!value.empty()) {
        if (kind == "camera") return DateCorrectionScope::camera(value);
        if (kind == "folder") return DateCorrectionScope::folder(exporting::standardized(value));
        if (kind == "photo") return DateCorrectionScope::photo(exporting::standardized(value));
    }
    return std::unexpected("a correction applies to all, camera=TEXT, folder=DIR or photo=FILE, not \u201C" +
                           std::string(text) + "\u201D");
}

std::pair<std::string_view, std::string_view> splitScope(std::string_view text) {
    const auto at = text.find('@');
    if (at == std::string_view::npos) return {text, ""};
    return {text.substr(0, at), text.substr(at + 1)};
}

// "+1h30m", "-2d", "+90m": a sign, then days, hours and minutes in that order.
[[nodiscard]] std::expected<DateCorrectionRule, std::string> parseShift(std::string_view option) {
    auto [amount, scopeText] = splitScope(option);
    auto scope = parseScope(scopeText);
    if (!scope) return std::unexpected(scope.error());
    std::int64_t sign = 1;
    if (!amount.empty() && (amount.front() == '+' || amount.front() == '-')) {
        sign = amount.front() == '-' ? -1 : 1;
        amount.remove_prefix(1);
    }
    std::int64_t total = 0;
    std::string_view units = "dhm";
    bool any = false;
    while (!amount.empty()) {
        std::size_t digits = 0;
        while (digits < amount.size() && amount[digits] >= '0' && amount[digits] <= '9') ++digits;
        const auto number = digits > 0 && digits <= 9 ? parseInteger(amount.substr(0, digits)) : std::nullopt;
        const auto unit = digits < amount.size() ? units.find(amount[digits]) : std::string_view::npos;
        if (!number || unit == std::string_view::npos)
            return std::unexpected("a shift is written like +1h30m or -2d, not \u201C" + std::string(option) + "\u201D");
        total += *number * (unit == 0 ? 86400 : unit == 1 ? 3600 : 60);
        units.remove_prefix(unit + 1);
        amount.remove_prefix(digits + 1);
        any = true;
    }
    if (!any) return std::unexpected("a shift is written like +1h30m or -2d, not \u201C" + std::string(option) + "\u201D");
    total *= sign;
    if (total == 0 || total > records::maximumShiftSeconds || total < -records::maximumShiftSeconds)
        return std::unexpected(std::string(records::errors::shiftNotAllowed));
    DateCorrectionRule rule;
    rule.scope = *scope;
    rule.offsetSeconds = total;
    return rule;
}

[[nodiscard]] std::expected<std::optional<records::ExpectedDateRange>, std::string> parseExpected(
    const std::optional<std::string>& option) {
    if (!option) return std::nullopt;
    const auto dots = option->find("..");
    auto day = [](std::string_view text) { return records::parseSuppliedText(std::string(text) + " 00:00:00"); };
    const auto from = dots == std::string::npos ? std::nullopt : day(std::string_view(*option).substr(0, dots));
    const auto to = dots == std::string::npos ? std::nullopt : day(std::string_view(*option).substr(dots + 2));
    if (!from || !to) return std::unexpected("--expect takes two days, like 2026-08-01..2026-08-31");
    auto range = records::ExpectedDateRange::days(from->year, from->month, from->day, to->year, to->month, to->day);
    if (!records::isValid(range)) return std::unexpected("Choose an end date on or after the start date.");
    return range;
}

[[nodiscard]] std::expected<std::vector<DateCorrectionRule>, std::string> parseCorrections(
    const ParsedArguments& parsed) {
    std::vector<DateCorrectionRule> rules;
    for (const auto& [option, value] : parsed.ordered) {
        if (option == "--shift") {
            auto rule = parseShift(value);
            if (!rule) return std::unexpected(rule.error());
            rules.push_back(*rule);
        } else if (option == "--supply") {
            auto [text, scopeText] = splitScope(value);
            auto scope = parseScope(scopeText);
            if (!scope) return std::unexpected(scope.error());
            auto rule = records::makeSupplyRule(*scope, text);
            if (!rule) return std::unexpected(rule.error());
            rules.push_back(*rule);
        }
    }
    return rules;
}

[[nodiscard]] std::expected<void, std::string> applyExportOptions(const ParsedArguments& parsed,
                                                                 settings::StampConfiguration& c) {
    if (auto out = parsed.value("--out")) c.outputRoot = exporting::standardized(*out);
    if (auto naming = parsed.value("--template")) c.naming.template_ = *naming;
    if (parsed.has("--no-subfolders")) c.includeSubfolders = false;
    if (parsed.has("--file-dates")) c.useFileDateFallback = true;
    const auto title = parsed.value("--project");
    const auto location = parsed.value("--location");
    const auto prefix = parsed.value("--prefix");
    const auto first = parsed.value("--first-number");
    if (title || location || prefix || first) {
        settings::PhotoProject project = c.project.value_or(settings::defaultProject());
        if (title) project.title = *title;
        if (location) project.location = *location;
        if (prefix) project.referencePrefix = *prefix;
        if (first) {
            auto number = parseInteger(*first);
            if (!number) return std::unexpected("--first-number takes a whole number");
            project.firstNumber = *number;
        }
        c.project = project;
    }
    return {};
}

// Ctrl-C cancels the running batch: photos in flight finish, the summary still prints.
std::atomic<exporting::BatchProcessor*> interruptible{nullptr};

extern "C" void onInterrupt(int) {
    if (auto* processor = interruptible.load()) processor->cancel();
    ::signal(SIGINT, SIG_DFL);  // a second Ctrl-C ends the program at once
}

class ProgressReporter {
public:
    ProgressReporter(std::ostream& err, std::size_t total)
        : err_(err), total_(total), terminal_(::isatty(STDERR_FILENO) == 1), start_(Clock::now()) {}

    void operator()(std::size_t finished) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(finished) / seconds : 0;
        if (!terminal_) {
            err_ << finished << "/" << total_ << "\n";
            return;
        }
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

private:
    using Clock = std::chrono::steady_clock;
    std::ostream& err_;
    std::size_t total_;
    bool terminal_;
    Clock::time_point start_;
};

void printSummary(std::ostream& out, const exporting::BatchSummary& summary,
                  const std::optional<handover::HandoverPackageResult>& handover) {
    using Kind = exporting::FileOutcome::Kind;
    out << "Stamped " << summary.count(Kind::stamped) << " \u00b7 Failed " << summary.count(Kind::failed)
        << " \u00b7 Skipped (no usable date) " << summary.count(Kind::skippedNoDate) << " \u00b7 Not processed "
        << summary.count(Kind::notProcessed) << (summary.wasCancelled ? " \u00b7 Cancelled" : "") << "\n";
    for (const auto& result : summary.results)
        if (result.outcome.kind == Kind::failed)
            out << "Failed: " << result.source.string() << " \u2014 " << result.outcome.failureText() << "\n";
    for (const auto& root : summary.outputRoots) out << "Output: " << root.string() << "\n";
    if (handover) {
        out << "Package: " << handover->root.string() << "\n";
        if (handover->index) out << "Photo index: " << handover->index->string() << "\n";
        if (handover->contactSheet) out << "Contact sheet: " << handover->contactSheet->string() << "\n";
        if (handover->error) out << *handover->error << "\n";
    }
}

int runExport(const Invocation& invocation) {
    const auto specs = exportOptionSpecs();
    auto parsed = parseArguments(invocation.arguments, specs);
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.empty()) return invocation.usageError("name at least one photo or folder");

    auto setup = stampSetup(*parsed, settings::defaultConfiguration());
    if (!setup) return invocation.usageError(setup.error());
    if (auto applied = applyExportOptions(*parsed, setup->configuration); !applied)
        return invocation.usageError(applied.error());
    auto corrections = parseCorrections(*parsed);
    if (!corrections) return invocation.usageError(corrections.error());
    auto expected = parseExpected(parsed->value("--expect"));
    if (!expected) return invocation.usageError(expected.error());
    int jobs = 4;
    if (auto text = parsed->value("--jobs")) {
        auto number = parseInteger(*text);
        if (!number || *number < 1 || *number > 64) return invocation.usageError("--jobs takes a number from 1 to 64");
        jobs = static_cast<int>(*number);
    }
    settings::StampConfiguration& configuration = setup->configuration;

    std::vector<std::filesystem::path> dropped;
    for (const auto& path : parsed->positionals) dropped.push_back(exporting::standardized(path));
    std::vector<std::filesystem::path> excluded;
    if (configuration.outputRoot) excluded.push_back(*configuration.outputRoot);

    exporting::ImageLoader::prepare();  // before any worker thread starts
    namespace discovery = exporting::PhotoDiscovery;
    auto photos = discovery::makePhotos(discovery::discoverFiles(dropped, configuration.includeSubfolders, excluded),
                                        dropped);
    if (photos.empty()) {
        invocation.err << "No photos found.\n";
        return exitFailure;
    }
    for (std::size_t i = 0; i < photos.size(); ++i) photos[i].batchOrdinal = static_cast<std::int64_t>(i);

    // A package folder is made first; the copies then go into its Photos folder.
    std::optional<std::filesystem::path> package;
    if (auto parent = parsed->value("--package")) {
        settings::PhotoProject project = configuration.project.value_or(settings::defaultProject());
        project.includeHandoverPackage = true;
        configuration.project = project;
        auto created = handover::HandoverPackage::createPackageFolder(exporting::standardized(*parent), project.title);
        if (!created) {
            invocation.err << created.error().description() << "\n";
            return exitFailure;
        }
        package = *created;
        configuration.outputRoot = handover::HandoverPackage::photosFolder(*created);
    }

    exporting::BatchProcessor processor(jobs);
    ProgressReporter progress(invocation.err, photos.size());
    interruptible.store(&processor);
    auto previous = ::signal(SIGINT, onInterrupt);
    auto summary =
        processor.run(photos, configuration, setup->watermarkImage, *corrections, *expected, std::ref(progress));
    ::signal(SIGINT, previous);
    interruptible.store(nullptr);
    std::optional<handover::HandoverPackageResult> reports;
    if (package) reports = handover::HandoverPackage::buildReports(summary, *package, configuration);

    printSummary(invocation.out, summary, reports);
    const bool reportsMissing = reports && reports->error;
    const bool clean =
        !summary.wasCancelled && summary.count(exporting::FileOutcome::Kind::failed) == 0 && !reportsMissing;
    return clean ? exitSuccess : exitFailure;
}

const std::string exportUsage = std::string(
    "usage: veltrop-cli export [OPTIONS] PATH...\n\n"
    "Finds the photos in the given files and folders and writes stamped copies:\n"
    "into a \"Timestamped\" folder beside them, or into --out DIR. Originals are\n"
    "never changed and no existing file is replaced. Ctrl-C cancels: photos in\n"
    "progress finish, the rest are left, and the summary is still printed.\n\n"
    "Stamp options:\n") + std::string(stampOptionsHelp) +
    "\nExport options:\n"
    "  --out DIR                 write every copy into DIR\n"
    "  --template T              file name template, e.g. \"{reference} {name}\"\n"
    "  --no-subfolders           do not search sub-folders\n"
    "  --file-dates              use the file's date when a photo records none\n"
    "  --jobs N                  photos processed at once (default 4)\n"
    "  --project TITLE           project title for records and the data strip\n"
    "  --location TEXT           location label\n"
    "  --prefix P                reference prefix (default IMG)\n"
    "  --first-number N          number of the first photo (default 1)\n"
    "  --package DIR             make a handover package in DIR: the copies in its Photos\n"
    "                            folder, a photo index (CSV) and a contact sheet (PDF)\n"
    "  --expect FROM..TO         expected days, e.g. 2026-08-01..2026-08-31\n"
    "  --shift ±[Nd][Nh][Nm][@SCOPE]\n"
    "                            shift the clock, e.g. +1h30m@camera=NIKON D3100\n"
    "  --supply \"YYYY-MM-DD HH:MM:SS[@SCOPE]\"\n"
    "                            use this date\n"
    "  SCOPE is all (the default), camera=TEXT, folder=DIR or photo=FILE; later\n"
    "  corrections win over earlier ones for the photos they match.\n";

}  // namespace

extern const Command exportCommand{"export", "stamp every photo of folders and files", exportUsage, runExport};

}  // namespace veltrop::cli
