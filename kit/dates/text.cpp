#include "kit/dates/text.h"

#include "kit/image/utf8.h"

namespace veltrop::dates {

std::string trimmed(std::string_view text) {
    return std::string(image::trimmedBy(text, [](char32_t c) { return image::isWhiteSpace(c); }));
}

std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

}  // namespace veltrop::dates
