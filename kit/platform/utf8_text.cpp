#include "kit/platform/utf8_text.h"

#include <utf8proc.h>

namespace veltrop::platform {

std::vector<std::size_t> graphemeEnds(std::string_view text) {
    std::vector<std::size_t> ends;
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    const auto size = static_cast<utf8proc_ssize_t>(text.size());
    utf8proc_int32_t state = 0;
    utf8proc_int32_t previous = -1;
    utf8proc_ssize_t offset = 0;
    while (offset < size) {
        utf8proc_int32_t codepoint = -1;
        utf8proc_ssize_t length = utf8proc_iterate(bytes + offset, size - offset, &codepoint);
        if (length <= 0) {
            // A stray byte stands alone and breaks any cluster around it.
            if (offset > 0 && (ends.empty() || ends.back() != static_cast<std::size_t>(offset)))
                ends.push_back(static_cast<std::size_t>(offset));
            offset += 1;
            ends.push_back(static_cast<std::size_t>(offset));
            previous = -1;
            state = 0;
            continue;
        }
        if (previous >= 0 && utf8proc_grapheme_break_stateful(previous, codepoint, &state))
            ends.push_back(static_cast<std::size_t>(offset));
        previous = codepoint;
        offset += length;
    }
    if (!text.empty() && (ends.empty() || ends.back() != text.size())) ends.push_back(text.size());
    return ends;
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    const auto size = static_cast<utf8proc_ssize_t>(text.size());
    utf8proc_ssize_t offset = 0;
    while (offset < size) {
        utf8proc_int32_t codepoint = -1;
        const utf8proc_ssize_t length = utf8proc_iterate(bytes + offset, size - offset, &codepoint);
        if (length <= 0) {
            out += "\uFFFD";
            offset += 1;
        } else {
            out.append(text.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
            offset += length;
        }
    }
    return out;
}

}  // namespace veltrop::platform
