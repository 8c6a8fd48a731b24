#include "cli/json_output.h"

#include <ostream>

#include "kit/settings/settings_json.h"

namespace veltrop::cli {

using nlohmann::json;

json dateJson(const std::optional<dates::CaptureDate>& date) {
    if (!date) return nullptr;
    return json::parse(dates::toJson(*date));
}

json recordJson(const records::PhotoRecord& record) {
    json fields = json::array();
    for (const auto& candidate : record.dateFields)
        fields.push_back({{"source", std::string(dates::rawValue(candidate.source))}, {"raw", candidate.raw}});
    return {
        {"sourceName", record.sourceName},
        {"sourcePath", record.sourcePath},
        {"reference", record.reference},
        {"camera", record.camera},
        {"project", record.project},
        {"location", record.location},
        {"recordedDate", dateJson(record.recordedDate)},
        {"dateFields", fields},
        {"resolvedDate", dateJson(record.resolvedDate)},
        {"correction", record.correction},
        {"warnings", record.warnings},
        {"error", record.error ? json(*record.error) : json(nullptr)},
    };
}

void printJson(std::ostream& out, const json& value) {
    const std::string compact = value.dump(-1, ' ', false, json::error_handler_t::replace);
    const auto text = settings::formatJsonText(compact);
    // The writer reads back what nlohmann wrote; it cannot fail on it.
    out << (text ? *text : compact) << "\n";
}

}  // namespace veltrop::cli
