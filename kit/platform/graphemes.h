#pragma once
// User-perceived characters (extended grapheme clusters) of UTF-8 text.

#include <cstddef>
#include <string_view>
#include <vector>

namespace veltrop::platform {

// The byte offset just past each character, in order; the last one is the
// text's size. A byte that is not valid UTF-8 counts as one character.
std::vector<std::size_t> graphemeEnds(std::string_view text);

}  // namespace veltrop::platform
