#pragma once
// Small text helpers shared by the readers, the formats and the planners.

#include <string>
#include <string_view>
#include <vector>

namespace veltrop::dates {

// White space and line breaks trimmed from both ends: every Unicode space
// and line separator, not only the ASCII ones.
std::string trimmed(std::string_view text);

// The pieces between separators, empty ones dropped ("a::b" gives a and b).
std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator);

}  // namespace veltrop::dates
