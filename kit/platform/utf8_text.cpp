#include "kit/platform/utf8_text.h"

#include <utf8proc.h>

#include "kit/image/utf8.h"

namespace veltrop::platform {

std::vector<std::size_t> graphemeEnds(std::string_view text) {
    std::vector<std::size_t> ends;
    utf8proc_int32_t state = 0;
    utf8proc_int32_t previous = -1;
    std::size_t offset = 0;
    while (offset < text.size()) {
        const image::DecodedCharacter character = image::decodeCharacter(text, offset);
        if (!character.valid) {
            // A stray byte stands alone and breaks any cluster around it.
            if (offset > 0 && (ends.empty() || ends.back() != offset)) ends.push_back(offset);
            offset += 1;
            ends.push_back(offset);
            previous = -1;
            state = 0;
            continue;
        }
        const auto codepoint = static_cast<utf8proc_int32_t>(character.value);
        if (previous >= 0 && utf8proc_grapheme_break_stateful(previous, codepoint, &state)) ends.push_back(offset);
        previous = codepoint;
        offset += character.length;
    }
    if (!text.empty() && (ends.empty() || ends.back() != text.size())) ends.push_back(text.size());
    return ends;
}

std::string validUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t offset = 0; offset < text.size();) {
        const image::DecodedCharacter character = image::decodeCharacter(text, offset);
        if (character.valid) out.append(text.substr(offset, character.length));
        else out += "\uFFFD";
        offset += character.length;
    }
    return out;
}

}  // namespace veltrop::platform
