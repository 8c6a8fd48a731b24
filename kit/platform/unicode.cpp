#include "kit/platform/unicode.h"

#include <utf8proc.h>

#include <optional>
#include <utility>
#include <vector>

#include "kit/image/utf8.h"

namespace veltrop::platform {
namespace {

// The kit's own decoder reads the text, so that what counts as valid UTF-8
// here is what counts everywhere else; utf8proc only maps code points.
std::optional<std::string> mapped(std::string_view text, utf8proc_option_t options) {
    std::vector<utf8proc_int32_t> buffer;
    buffer.reserve(text.size() + 1);
    for (std::size_t index = 0; index < text.size();) {
        const image::DecodedCharacter character = image::decodeCharacter(text, index);
        if (!character.valid) return std::nullopt;
        index += character.length;
        const std::size_t start = buffer.size();
        buffer.resize(start + 4);
        utf8proc_ssize_t written = 0;
        for (;;) {
            const auto room = static_cast<utf8proc_ssize_t>(buffer.size() - start);
            written = utf8proc_decompose_char(static_cast<utf8proc_int32_t>(character.value), buffer.data() + start,
                                              room, options, nullptr);
            if (written < 0) return std::nullopt;
            if (written <= room) break;
            buffer.resize(start + static_cast<std::size_t>(written));
        }
        buffer.resize(start + static_cast<std::size_t>(written));
    }
    // Canonical order of combining marks, as utf8proc's own decomposition leaves it.
    for (std::size_t pos = 0; pos + 1 < buffer.size();) {
        const auto first = utf8proc_get_property(buffer[pos])->combining_class;
        const auto second = utf8proc_get_property(buffer[pos + 1])->combining_class;
        if (first > second && second > 0) {
            std::swap(buffer[pos], buffer[pos + 1]);
            if (pos > 0) --pos;
            else ++pos;
        } else {
            ++pos;
        }
    }
    const auto length = static_cast<utf8proc_ssize_t>(buffer.size());
    buffer.push_back(0);  // re-encoding in place needs one spare byte past the input
    const utf8proc_ssize_t bytes = utf8proc_reencode(buffer.data(), length, options);
    if (bytes < 0) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(bytes));
}

constexpr auto composed = static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE);

}  // namespace

std::string nfc(std::string_view text) { return mapped(text, composed).value_or(std::string(text)); }

std::string caseFolded(std::string_view text) {
    if (auto folded = mapped(text, static_cast<utf8proc_option_t>(composed | UTF8PROC_CASEFOLD))) return *folded;
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace veltrop::platform
