#pragma once
// The order a file browser shows names in: digit runs compared by value,
// letter case ignored.

#include <string>
#include <vector>

namespace veltrop::platform {

// Stable: texts that compare equal keep their order.
void sortNaturally(std::vector<std::string>& texts);

// Negative, zero or positive, like strcmp.
int compareNaturally(const std::string& a, const std::string& b);

}  // namespace veltrop::platform
