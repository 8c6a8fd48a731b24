#pragma once
// Walking UTF-8 text: user-perceived characters (extended grapheme
// clusters) and repair of bytes that are not UTF-8 (file names may hold any).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrop::platform {

// The byte offset just past each character, in order; the last one is the
// text's size. A byte that is not valid UTF-8 counts as one character.
std::vector<std::size_t> graphemeEnds(std::string_view text);

// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD.
std::string validUtf8(std::string_view text);

}  // namespace veltrop::platform
