#include "kit/settings/configuration_members.h"

#include "kit/dates/exif_fields.h"

namespace veltrop::settings {

namespace {

std::string_view trimmedSpacesAndTabs(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

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

std::string cleanedNameValue(std::string_view value) {
    std::string replaced(value);
    for (char& c : replaced)
        if (c == '/' || c == ':' || c == '\0') c = '-';
    std::string result;
    result.reserve(replaced.size());
    for (std::size_t i = 0; i < replaced.size(); ++i) {
        if (replaced[i] == '.' && i + 1 < replaced.size() && replaced[i + 1] == '.') {
            ++i;
            continue;
        }
        result += replaced[i];
    }
    return std::string(trimmedSpacesAndTabs(result));
}

std::string renderNameTemplate(std::string_view templateText, const NameTokenValues& values) {
    std::string result;
    std::size_t position = 0;
    while (position < templateText.size()) {
        const std::string_view rest = templateText.substr(position);
        bool matched = false;
        for (std::size_t t = 0; t < OutputNaming::tokens.size(); ++t) {
            const std::string_view token = OutputNaming::tokens[t];
            if (!rest.starts_with(token)) continue;
            result += values[t] ? std::string_view(*values[t]) : token;
            position += token.size();
            matched = true;
            break;
        }
        if (!matched) result += templateText[position++];
    }
    return std::string(trimmedSpacesAndTabs(result));
}

bool isHiddenName(std::string_view name) { return name.starts_with('.') && name != "." && name != ".."; }

bool namesHiddenItems(const OutputNaming& naming, const PhotoProject& project) {
    // A source name never begins with "." (discovery leaves hidden files
    // out) and dates are digits; the prefix and title are known now.
    const std::string prefix = dates::trimmed(project.referencePrefix);
    const std::string reference = prefix.empty() ? "0001" : prefix + "-0001";
    const NameTokenValues values{"photo", "2000-01-01", "000000", "2000-01-01_000000",
                                 cleanedNameValue(reference), cleanedNameValue(project.title)};
    const std::string stem = renderNameTemplate(naming.template_, values);
    for (std::string_view piece : dates::splitDroppingEmpty(stem, '/'))
        if (isHiddenName(piece)) return true;
    return false;
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
