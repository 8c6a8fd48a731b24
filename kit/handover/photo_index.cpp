#include "kit/handover/photo_index.h"

#include "kit/dates/exif_fields.h"
#include "kit/records/path_key.h"
#include "kit/platform/utf8_text.h"

namespace veltrop::handover::PhotoIndex {

namespace {

using exporting::FileOutcome;

std::string joined(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += separator;
        out += items[i];
    }
    return out;
}

std::string rawDate(const records::PhotoRecord& record, dates::CaptureDateSource source) {
    for (const auto& field : record.dateFields)
        if (field.source == source) return field.raw;
    return {};
}

std::string dateText(const std::optional<dates::CaptureDate>& date) {
    return date ? dates::text(*date) : std::string();
}

std::string sourceLabel(const std::optional<dates::CaptureDate>& date) {
    return date ? std::string(dates::label(date->source)) : std::string();
}

}  // namespace

std::string statusText(const FileOutcome& outcome) {
    switch (outcome.kind) {
        case FileOutcome::Kind::stamped: return "Exported";
        case FileOutcome::Kind::failed: return "Failed: " + outcome.failureText();
        case FileOutcome::Kind::skippedNoDate: return "Skipped: no usable date";
        case FileOutcome::Kind::notProcessed: return "Not processed";
    }
    return {};
}

std::string exportedName(const std::filesystem::path& copy, const std::filesystem::path& package) {
    const std::filesystem::path file = records::standardized(copy);
    const std::filesystem::path relative = file.lexically_relative(records::standardized(package));
    if (relative.empty() || relative == "." || *relative.begin() == "..") return file.filename().string();
    return relative.generic_string();
}

std::vector<std::string> row(const exporting::FileResult& result, const std::filesystem::path& package,
                             const settings::StampConfiguration& configuration) {
    const bool stamped = result.outcome.kind == FileOutcome::Kind::stamped;
    const std::string notExported = "Not exported";
    std::vector<std::string> fields(headers.size());
    if (const auto& record = result.record) {
        fields[0] = record->reference;
        fields[1] = record->project;
        fields[2] = record->location;
        fields[3] = record->sourcePath;
        fields[6] = dateText(record->recordedDate);
        fields[7] = sourceLabel(record->recordedDate);
        fields[8] = dateText(record->resolvedDate);
        fields[9] = sourceLabel(record->resolvedDate);
        fields[10] = record->correction;
        fields[11] = record->camera;
        fields[12] = joined(record->warnings, "; ");
        fields[13] = rawDate(*record, dates::CaptureDateSource::dateTimeOriginal);
        fields[14] = rawDate(*record, dates::CaptureDateSource::dateTimeDigitized);
        fields[15] = rawDate(*record, dates::CaptureDateSource::tiffDateTime);
    } else {
        fields[3] = result.source.filename().string();
    }
    if (stamped) fields[4] = exportedName(result.outcome.destination, package);
    fields[5] = statusText(result.outcome);
    fields[16] = !stamped ? notExported : configuration.removeGPS ? "Removed" : "Retained if present";
    // The copies carry a corrected date only when asked, and only when a rule gave it.
    const bool dateWritten = configuration.writeCorrectedDates && result.record && !result.record->correction.empty() &&
                             result.record->resolvedDate;
    fields[17] = !stamped      ? notExported
                 : dateWritten ? "Resolved date written (DateTimeOriginal, CreateDate); recorded date in this index"
                               : "Source date metadata retained; corrections affect stamps, names and this index";
    fields[18] = !stamped ? notExported : result.outcome.lossless ? "Yes" : "No";
    return fields;
}

std::string quotedField(std::string_view field) {
    std::string out = "\"";
    const std::string trimmed = dates::trimmed(field);
    if (!trimmed.empty() && std::string_view("=+-@").find(trimmed.front()) != std::string_view::npos) out += '\'';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

std::string text(const exporting::BatchSummary& summary, const std::filesystem::path& package,
                 const settings::StampConfiguration& configuration) {
    const auto line = [](const auto& fields) {
        std::string out;
        bool first = true;
        for (const auto& field : fields) {
            if (!first) out += ',';
            first = false;
            out += quotedField(field);
        }
        return out + "\r\n";
    };
    std::string out = "\xEF\xBB\xBF";
    out += line(headers);
    for (const auto& result : summary.results) out += line(row(result, package, configuration));
    // Linux file names may hold any bytes; the index promises UTF-8.
    return platform::validUtf8(out);
}

}  // namespace veltrop::handover::PhotoIndex
