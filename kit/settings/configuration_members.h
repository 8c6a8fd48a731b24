#pragma once
// The records a configuration holds besides its format and style: the data
// strip's contents, the file-name template, the watermark and the project.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "kit/settings/stamp_style.h"
#include "kit/settings/uuid.h"

namespace veltrop::settings {

enum class StripBackground { black, white };
constexpr auto enumCases(StripBackground) {
    return std::array{EnumCase<StripBackground>{StripBackground::black, "black", "Black"},
                      EnumCase<StripBackground>{StripBackground::white, "white", "White"}};
}

struct DataStripConfig {
    std::string label;
    bool showTimestamp = true;
    bool showCamera = true;
    bool showLens = false;
    bool showExposure = false;
    StripBackground background = StripBackground::black;

    bool operator==(const DataStripConfig&) const = default;
};

struct OutputNaming {
    static constexpr std::array<std::string_view, 6> tokens{"{name}",      "{date}",      "{time}",
                                                            "{datetime}", "{reference}", "{project}"};
    std::string template_ = "{name}";

    bool operator==(const OutputNaming&) const = default;
};

// Relative, without "..", NUL or a leading slash; empty is valid.
bool isValidTemplate(std::string_view templateText);
// Contains {date}, {time} or {datetime}.
bool templateRequiresCaptureDate(std::string_view templateText);

// A token value made safe for a file name: "/", ":" and NUL become "-",
// ".." disappears, spaces and tabs at the ends go.
std::string cleanedNameValue(std::string_view value);

// The template with every token replaced by its value (values in the order
// of OutputNaming::tokens; a token without a value stays as written), spaces
// and tabs at the ends trimmed.
using NameTokenValues = std::array<std::optional<std::string>, OutputNaming::tokens.size()>;
std::string renderNameTemplate(std::string_view templateText, const NameTokenValues& values);

// A file or folder name a copy would be given that begins with "." (other
// than "." and "..", which name no item of their own): it would be hidden.
bool isHiddenName(std::string_view name);

struct WatermarkImageID {
    Uuid rawValue;
    static WatermarkImageID fresh() { return {Uuid::random()}; }
    auto operator<=>(const WatermarkImageID&) const = default;
};

// Either a text or an imported logo.
struct WatermarkSource {
    std::variant<std::string, WatermarkImageID> value;

    static WatermarkSource text(std::string text) { return {std::move(text)}; }
    static WatermarkSource image(WatermarkImageID id) { return {id}; }
    const std::string* textValue() const { return std::get_if<std::string>(&value); }
    const WatermarkImageID* imageValue() const { return std::get_if<WatermarkImageID>(&value); }

    bool operator==(const WatermarkSource&) const = default;
};

struct WatermarkConfig {
    static constexpr double minimumSizeFraction = 0.02;
    static constexpr double maximumSizeFraction = 0.2;
    static constexpr double minimumOpacity = 0.15;
    static constexpr double maximumOpacity = 1.0;

    WatermarkSource source = WatermarkSource::text("");
    StampCorner corner = StampCorner::bottomLeft;
    double sizeFraction = 0.06;
    double opacity = 0.65;
    StampInk ink = StampInk::white;
    StampBacking backing = StampBacking::shadow;

    bool operator==(const WatermarkConfig&) const = default;
};

// An image always has content; a text needs something besides white space.
bool hasContent(const WatermarkConfig& watermark);

struct PhotoProject {
    std::string title;
    std::string location;
    std::string referencePrefix = "IMG";
    std::int64_t firstNumber = 1;
    bool showInStrip = true;
    bool includeHandoverPackage = true;

    bool operator==(const PhotoProject&) const = default;
};

// Whether the template, with this project's reference prefix and title,
// names copies or their folders so that they would be hidden.
bool namesHiddenItems(const OutputNaming& naming, const PhotoProject& project);

const DataStripConfig& defaultDataStrip();
const OutputNaming& defaultNaming();
const WatermarkConfig& defaultWatermark();
const PhotoProject& defaultProject();

}  // namespace veltrop::settings
