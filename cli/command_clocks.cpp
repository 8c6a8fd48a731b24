#include <cmath>
#include <cstdio>
#include <ostream>

#include "cli/arguments.h"
#include "cli/clock_table.h"
#include "cli/json_output.h"
#include "cli/command.h"
#include "kit/export/image_loader.h"
#include "kit/records/path_key.h"
#include "kit/export/photo_discovery.h"

namespace veltrop::cli {

using records::ClockCheck;
using records::ClockEstimate;
using records::ClockProposal;
using records::DateCorrectionScope;

namespace {

constexpr std::string_view noValue = "\u2014";

// Columns are measured in characters, not bytes: zone texts hold a minus sign.
std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    for (unsigned char c : text) width += (c & 0xC0) != 0x80 ? 1 : 0;
    return width;
}

std::string signedDuration(double seconds) {
    const std::string amount = records::durationText(seconds);
    if (seconds > 0) return "+" + amount;
    if (seconds < 0 && amount != "0 s" && amount != "0.0 s") return "\u2212" + amount;
    return amount;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

std::string cameraColumn(const ClockEstimate& estimate) {
    if (!estimate.folder) return estimate.camera;
    const std::filesystem::path& folder = *estimate.folder;
    return estimate.camera + " in " + folder.parent_path().filename().string() + "/" + folder.filename().string();
}

const ClockProposal* proposalOf(const ClockCheck& check, const ClockEstimate& estimate) {
    for (const ClockProposal& proposal : check.proposals)
        if (proposal.basis != ClockProposal::Basis::syncShot && proposal.rule.scope == estimate.scope) return &proposal;
    return nullptr;
}

std::string basisName(ClockProposal::Basis basis) {
    switch (basis) {
        case ClockProposal::Basis::gpsTime: return "gpsTime";
        case ClockProposal::Basis::fileTimes: return "fileTimes";
        case ClockProposal::Basis::syncShot: return "syncShot";
    }
    return {};
}

json::Value scopeJson(const DateCorrectionScope& scope) {
    using json::Object;
    switch (scope.kind) {
        case DateCorrectionScope::Kind::camera: return Object{{"kind", "camera"}, {"camera", scope.cameraText}};
        case DateCorrectionScope::Kind::folder: return Object{{"kind", "folder"}, {"folder", scope.location.string()}};
        case DateCorrectionScope::Kind::photo: return Object{{"kind", "photo"}, {"photo", scope.location.string()}};
        case DateCorrectionScope::Kind::all: return Object{{"kind", "all"}};
    }
    return {};
}

// "A=B" where either path may itself hold "=": the split that names two existing files wins.
std::pair<std::string, std::string> splitSyncPair(const std::string& text) {
    std::optional<std::pair<std::string, std::string>> first;
    for (std::size_t at = text.find('='); at != std::string::npos; at = text.find('=', at + 1)) {
        std::pair<std::string, std::string> pair{text.substr(0, at), text.substr(at + 1)};
        std::error_code error;
        if (std::filesystem::is_regular_file(pair.first, error) && std::filesystem::is_regular_file(pair.second, error))
            return pair;
        if (!first) first = pair;
    }
    return first.value_or(std::pair<std::string, std::string>{});
}

int runClocks(const Invocation& invocation) {
    const OptionSpec specs[] = {{"--json", false}, {"--sync", true}, {"--no-subfolders", false}};
    auto parsed = parseArguments(invocation.arguments, specs);
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.empty()) return invocation.usageError("name at least one photo or folder");

    std::vector<records::SyncShot> shots;
    for (const auto& [option, value] : parsed->ordered) {
        if (option != "--sync") continue;
        auto [reference, other] = splitSyncPair(value);
        if (reference.empty() || other.empty())
            return invocation.usageError("--sync takes two photos of one moment, like A.jpg=B.jpg");
        shots.push_back({reference, other});
    }

    std::vector<std::filesystem::path> dropped;
    for (const auto& path : parsed->positionals) dropped.push_back(records::standardized(path));
    exporting::ImageLoader::prepare();
    namespace discovery = exporting::PhotoDiscovery;
    const auto photos =
        discovery::makePhotos(discovery::discoverFiles(dropped, !parsed->has("--no-subfolders"), {}), dropped);
    if (photos.empty()) {
        invocation.err << "No photos found.\n";
        return exitFailure;
    }

    ClockCheck check = records::checkClocks(photos);
    std::vector<std::string> problems;
    for (const records::SyncShot& shot : shots) {
        auto proposal = records::syncProposal(photos, check, shot);
        if (proposal)
            check.proposals.push_back(std::move(*proposal));
        else
            problems.push_back(proposal.error().description());
    }

    if (parsed->has("--json")) {
        json::Array estimates, proposals;
        for (const auto& estimate : check.estimates) estimates.push_back(clockEstimateJson(estimate));
        for (const auto& proposal : check.proposals) proposals.push_back(clockProposalJson(proposal));
        printJson(invocation.out, json::Object{{"estimates", std::move(estimates)},
                                               {"proposals", std::move(proposals)},
                                               {"problems", stringsJson(problems)}});
    } else {
        printClockTable(invocation.out, check);
        invocation.out << "\n";
        printClockProposals(invocation.out, check.proposals);
    }
    for (const auto& problem : problems) invocation.err << problem << "\n";
    return problems.empty() ? exitSuccess : exitFailure;
}

}  // namespace

std::string shellQuoted(const std::string& text) {
    const bool plain = !text.empty() && text.find_first_not_of(
                                            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                            "0123456789+-_=@/.,:") == std::string::npos;
    if (plain) return text;
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void printClockTable(std::ostream& out, const ClockCheck& check) {
    std::vector<std::vector<std::string>> rows{
        {"Camera", "Photos", "GPS used", "Left out", "Zone", "Clock error", "Spread", "Shift"}};
    for (const ClockEstimate& estimate : check.estimates) {
        std::string error(noValue);
        if (estimate.clockErrorSeconds)
            error = signedDuration(*estimate.clockErrorSeconds);
        else if (estimate.aheadAtLeastSeconds)
            error = "at least +" + records::durationText(static_cast<double>(*estimate.aheadAtLeastSeconds));
        const ClockProposal* proposal = proposalOf(check, estimate);
        rows.push_back(
            {cameraColumn(estimate), std::to_string(estimate.photos),
             estimate.withGpsTime > 0 ? std::to_string(estimate.used) : std::string(noValue),
             estimate.withGpsTime > 0 ? std::to_string(estimate.lagging + estimate.outliers) : std::string(noValue),
             estimate.zoneSeconds ? records::zoneText(*estimate.zoneSeconds) : std::string(noValue), error,
             estimate.used > 0 ? secondsText(estimate.spreadSeconds) : std::string(noValue),
             proposal ? proposal->shiftText : std::string(noValue)});
    }
    std::vector<std::size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], displayWidth(row[i]));
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - displayWidth(row[i]) + 2, ' ');
        }
        out << line << "\n";
    }
    for (const ClockEstimate& estimate : check.estimates)
        for (const std::string& note : estimate.notes) out << cameraColumn(estimate) << ": " << note << "\n";
}

void printClockProposals(std::ostream& out, std::span<const ClockProposal> proposals) {
    if (proposals.empty()) {
        out << "No clock corrections suggested.\n";
        return;
    }
    out << "Suggested corrections (add to export or review):\n";
    for (const ClockProposal& proposal : proposals) {
        out << "  --shift " << shellQuoted(proposal.shiftText) << "\n"
            << "      " << proposal.evidence << "\n";
        for (const std::string& note : proposal.notes) out << "      " << note << "\n";
    }
}

json::Value clockEstimateJson(const ClockEstimate& estimate) {
    using json::Value;
    return json::Object{
        {"camera", estimate.camera},
        {"folder", estimate.folder ? Value(estimate.folder->string()) : Value()},
        {"scope", scopeJson(estimate.scope)},
        {"photos", estimate.photos},
        {"placeholders", estimate.placeholders},
        {"withGpsTime", estimate.withGpsTime},
        {"lagging", estimate.lagging},
        {"outliers", estimate.outliers},
        {"used", estimate.used},
        {"zoneSeconds", orNull(estimate.zoneSeconds)},
        {"zone", estimate.zoneSeconds ? Value(records::zoneText(*estimate.zoneSeconds)) : Value()},
        {"zoneFromOffsetTag", estimate.zoneFromOffsetTag},
        {"clockErrorSeconds", orNull(estimate.clockErrorSeconds)},
        {"spreadSeconds", estimate.used > 0 ? Value(estimate.spreadSeconds) : Value()},
        {"longitudeZoneSeconds", orNull(estimate.longitudeZoneSeconds)},
        {"withFileTime", estimate.withFileTime},
        {"fileTimeWitnesses", estimate.fileTimeWitnesses},
        {"aheadAtLeastSeconds", orNull(estimate.aheadAtLeastSeconds)},
        {"notes", stringsJson(estimate.notes)},
    };
}

json::Value clockProposalJson(const ClockProposal& proposal) {
    return json::Object{
        {"basis", basisName(proposal.basis)},
        {"offsetSeconds", proposal.rule.offsetSeconds},
        {"scope", scopeJson(proposal.rule.scope)},
        {"shift", proposal.shiftText},
        {"correction", records::text(proposal.rule)},
        {"evidence", proposal.evidence},
        {"zoneSeconds", orNull(proposal.zoneSeconds)},
        {"notes", stringsJson(proposal.notes)},
    };
}

extern const Command clocksCommand{
    "clocks", "Estimate each camera's time zone and clock error",
    "usage: veltrop-cli clocks [OPTIONS] PATH...\n\n"
    "Finds the photos in the given files and folders and, for each camera, compares\n"
    "the camera's clock (DateTimeOriginal) with the satellites' (GPS time, UTC): the\n"
    "difference is a time zone plus the camera's clock error. Prints one row per\n"
    "camera (per folder when one camera model spans folders whose clocks disagree)\n"
    "and the --shift to give export or review to correct it. Nothing is changed.\n\n"
    "Photos without GPS time whose recorded time is later than their file's\n"
    "modification time show a camera that runs ahead by at least that much.\n\n"
    "Options:\n"
    "  --sync A=B        photos A and B show the same moment taken by two cameras:\n"
    "                    suggest a shift that sets B's camera to A's clock (repeatable)\n"
    "  --no-subfolders   do not search sub-folders\n"
    "  --json            print the estimates and suggestions as JSON\n"
    "  -h, --help        show this help\n\n"
    "Exits 1 when no photos are found or a sync pair cannot be used.\n",
    runClocks};

}  // namespace veltrop::cli
