#include <ostream>

#include "cli/arguments.h"
#include "cli/clock_table.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "cli/record_options.h"
#include "cli/stamp_options.h"
#include "kit/export/image_loader.h"
#include "kit/handover/photo_index.h"
#include "kit/records/photo_record.h"

namespace veltrop::cli {

namespace {

using records::PhotoRecord;

std::vector<OptionSpec> reviewOptionSpecs() {
    std::vector<OptionSpec> specs = recordOptionSpecs;
    specs.insert(specs.end(), {{"--preset", true}, {"--config", true}, {"--csv", false}, {"--json", false}});
    return specs;
}

struct ReviewRow {
    std::filesystem::path source;
    PhotoRecord record;
};

std::string dateText(const std::optional<dates::CaptureDate>& date) { return date ? dates::text(*date) : ""; }
std::string sourceLabel(const std::optional<dates::CaptureDate>& date) {
    return date ? std::string(dates::label(date->source)) : "";
}

std::string joined(const std::vector<std::string>& texts, std::string_view separator) {
    std::string out;
    for (const auto& text : texts) out += (out.empty() ? "" : std::string(separator)) + text;
    return out;
}

std::string notes(const PhotoRecord& record) {
    std::vector<std::string> texts = record.warnings;
    if (record.error) texts.emplace_back(records::description(*record.error));
    return joined(texts, "; ");
}

// Columns are aligned by characters (code points); control characters would break the lines.
std::size_t displayLength(std::string_view text) {
    std::size_t length = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++length;
    return length;
}

std::string cell(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return text;
}

void printTable(std::ostream& out, const std::vector<ReviewRow>& rows) {
    std::vector<std::vector<std::string>> lines{
        {"Photo", "Camera", "Recorded", "Will use", "Date source", "Correction", "Notes"}};
    for (const auto& [source, record] : rows)
        lines.push_back({cell(record.sourcePath), cell(record.camera),
                         record.recordedDate ? dates::text(*record.recordedDate) : "No date",
                         record.resolvedDate ? dates::text(*record.resolvedDate) : "Still has no date",
                         sourceLabel(record.resolvedDate), cell(record.correction), cell(notes(record))});
    std::vector<std::size_t> widths(lines.front().size(), 0);
    for (const auto& line : lines)
        for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], displayLength(line[i]));
    for (const auto& line : lines) {
        std::string text;
        for (std::size_t i = 0; i < line.size(); ++i) {
            text += line[i];
            if (i + 1 < line.size()) text += std::string(widths[i] - displayLength(line[i]) + 2, ' ');
        }
        while (text.ends_with(' ')) text.pop_back();
        out << text << "\n";
    }
    std::size_t attention = 0;
    for (const auto& row : rows) attention += records::needsAttention(row.record) ? 1 : 0;
    out << rows.size() << (rows.size() == 1 ? " photo" : " photos") << " \u00b7 " << attention
        << " need attention\n";
}

const std::vector<std::string_view> csvHeaders{
    "Reference",     "Source file",          "Camera",     "Recorded date", "Recorded date source",
    "Resolved date", "Resolved date source", "Correction", "Warnings",      "Error",
    "Needs attention"};

void printCsv(std::ostream& out, const std::vector<ReviewRow>& rows) {
    const auto line = [&out](const std::vector<std::string>& fields) {
        std::string text;
        for (const auto& field : fields) text += (text.empty() ? "" : ",") + handover::PhotoIndex::quotedField(field);
        out << text << "\r\n";
    };
    line({csvHeaders.begin(), csvHeaders.end()});
    for (const auto& [source, record] : rows)
        line({record.reference, record.sourcePath, record.camera, dateText(record.recordedDate),
              sourceLabel(record.recordedDate), dateText(record.resolvedDate), sourceLabel(record.resolvedDate),
              record.correction, joined(record.warnings, "; "), record.error ? std::string(records::description(*record.error)) : std::string(),
              records::needsAttention(record) ? "Yes" : "No"});
}

json::Value reviewJson(const std::vector<ReviewRow>& rows, const RecordOptions& options,
                       const std::vector<std::size_t>& changed) {
    using json::Object;
    json::Array photos;
    std::size_t attention = 0;
    for (const auto& [source, record] : rows) {
        const bool needs = records::needsAttention(record);
        attention += needs ? 1 : 0;
        photos.emplace_back(
            Object{{"source", source.string()}, {"needsAttention", needs}, {"record", recordJson(record)}});
    }
    json::Value range;
    if (const auto& expected = options.expectedRange)
        range = Object{{"start", dateJson(expected->start)}, {"end", dateJson(expected->end)}};
    return Object{{"photos", std::move(photos)},
                  {"counts", Object{{"photos", rows.size()}, {"needAttention", attention}}},
                  {"expectedRange", std::move(range)},
                  {"corrections", correctionEffectsJson(options, changed)}};
}

int runReview(const Invocation& invocation) {
    const auto specs = reviewOptionSpecs();
    auto parsed = parseArguments(invocation.arguments, specs);
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.empty()) return invocation.usageError("name at least one photo or folder");
    if (parsed->has("--csv") && parsed->has("--json")) return invocation.usageError("give either --csv or --json, not both");

    // A preset or settings file decides the project and the file-date fallback, as in an export.
    auto setup = stampSetup(*parsed, settings::defaultConfiguration());
    if (!setup) return invocation.usageError(setup.error());
    settings::StampConfiguration& configuration = setup->configuration;
    auto options = readRecordOptions(*parsed, configuration);
    if (!options) return invocation.usageError(options.error());

    exporting::ImageLoader::prepare();
    const auto photos = discoverPhotos(parsed->positionals, configuration.includeSubfolders, {});
    if (photos.empty()) {
        invocation.err << "No photos found.\n";
        return exitFailure;
    }
    if (auto unmatched = unmatchedCorrections(*options, photos)) return invocation.usageError(*unmatched);

    const auto rules = options->rules();
    std::vector<ReviewRow> rows;
    for (std::size_t i = 0; i < photos.size(); ++i)
        rows.push_back({photos[i].url, records::makeRecord(photos[i], static_cast<std::int64_t>(i), configuration,
                                                           rules, options->expectedRange)});
    const auto changed = correctionEffects(*options, photos, configuration);
    if (parsed->has("--json")) {
        printJson(invocation.out, reviewJson(rows, *options, changed));
    } else if (parsed->has("--csv")) {
        printCsv(invocation.out, rows);
    } else {
        printTable(invocation.out, rows);
        printCorrectionEffects(invocation.out, *options, changed);
        // What the photos' own clocks suggest, never applied without being asked for.
        const auto clocks = records::checkClocks(photos);
        if (!clocks.proposals.empty()) {
            invocation.out << "\n";
            printClockProposals(invocation.out, clocks.proposals);
        }
    }
    return exitSuccess;
}

const std::string reviewUsage = std::string(
    "Usage: veltrop-cli review [OPTIONS] PATH...\n\n"
    "Lists the photos an export of the same files and folders would take, with\n"
    "the dates it would use: per photo its path below the folder given, camera,\n"
    "recorded date, the date that will be used and its source, the correction\n"
    "that applies and the warnings. Reads metadata only and writes nothing.\n\n"
    "Options:\n"
    "  --preset NAME             take the project and file-date setting from a saved preset\n"
    "  --config FILE             take them from the settings in FILE\n") +
    std::string(recordOptionsHelp) +
    "\nOutput options:\n"
    "  --csv                     one line per photo, every field quoted as in the photo\n"
    "                            index, lines ended by CR LF\n"
    "  --json                    one JSON object: every photo with its record, the counts,\n"
    "                            the expected dates and what each correction changed\n"
    "  -h, --help                show this help\n"
    "  Without --csv or --json the photos are printed as an aligned table.\n"
    "\nExamples:\n"
    "  veltrop-cli review ~/Survey/Day1\n"
    "  veltrop-cli review ~/Survey --shift \"+1h30m@camera=NIKON D3100\" \\\n"
    "      --expect 2026-08-01..2026-08-31\n"
    "  veltrop-cli review ~/Survey --csv > dates.csv\n"
    "\nExit status:\n"
    "  0  the photos were listed\n"
    "  1  no photo was found\n"
    "  2  the command line is wrong, or a correction matches no photo\n";

}  // namespace

extern const Command reviewCommand{"review", "List every photo's dates as an export would use them", reviewUsage,
                                   runReview};

}  // namespace veltrop::cli
