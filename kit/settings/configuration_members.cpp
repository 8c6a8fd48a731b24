#include "kit/settings/configuration_members.h"

#include "kit/dates/exif_fields.h"

namespace veltrop::settings {

bool isValidTemplate(std::string_view templateText) {
    const std::string text = dates::trimmed(templateText);
    if (text.starts_with('/')) return false;
    if (text.find('\0') != std::string::npos) return false;
    for (std::string_view piece : dates::splitDroppingEmpty(text, '/'))
        if (piece == "..") return false;
    return true;
}

bool templateRequiresCaptureDate(std::string_view templateText) {
    return templateText.find("{date}") != std::string_view::npos ||
           templateText.find("{time}") != std::string_view::npos ||
           templateText.find("{datetime}") != std::string_view::npos;
}

bool hasContent(const WatermarkConfig& watermark) {
    if (const std::string* text = watermark.source.textValue()) return !dates::trimmed(*text).empty();
    return true;
}

const DataStripConfig& defaultDataStrip() {
    static const DataStripConfig value;
    return value;
}
const OutputNaming& defaultNaming() {
    static const OutputNaming value;
    return value;
}
const WatermarkConfig& defaultWatermark() {
    static const WatermarkConfig value;
    return value;
}
const PhotoProject& defaultProject() {
    static const PhotoProject value;
    return value;
}

}  // namespace veltrop::settings
