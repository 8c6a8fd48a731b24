#include "cli/json_output.h"

#include <ostream>

#include "kit/json/writer.h"

namespace veltrop::cli {

using json::Array;
using json::Object;
using json::Value;

Value dateJson(const std::optional<dates::CaptureDate>& date) {
    if (!date) return {};
    // The stored form of a date, so that a printed date reads back as one.
    auto parsed = json::parse(dates::toJson(*date));
    return parsed ? std::move(*parsed) : Value();
}

Value stringsJson(const std::vector<std::string>& texts) {
    Array list;
    for (const auto& text : texts) list.emplace_back(text);
    return list;
}

Value recordJson(const records::PhotoRecord& record) {
    Array fields;
    for (const auto& candidate : record.dateFields)
        fields.emplace_back(Object{{"source", dates::rawValue(candidate.source)}, {"raw", candidate.raw}});
    return Object{
        {"sourceName", record.sourceName},
        {"sourcePath", record.sourcePath},
        {"reference", record.reference},
        {"camera", record.camera},
        {"project", record.project},
        {"location", record.location},
        {"recordedDate", dateJson(record.recordedDate)},
        {"dateFields", std::move(fields)},
        {"resolvedDate", dateJson(record.resolvedDate)},
        {"correction", record.correction},
        {"warnings", stringsJson(record.warnings)},
        {"error", record.error ? Value(records::description(*record.error)) : Value()},
    };
}

void printJson(std::ostream& out, const Value& value) {
    // With repair the writer cannot fail.
    out << json::write(value, json::Repair::replace).value_or("null") << "\n";
}

}  // namespace veltrop::cli
