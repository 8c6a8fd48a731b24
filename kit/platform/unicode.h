#pragma once
// Unicode normalisation and case folding of UTF-8 text, for comparing names.

#include <string>
#include <string_view>

namespace veltrop::platform {

// Canonical composition (NFC). Text that is not valid UTF-8 comes back unchanged.
std::string nfc(std::string_view text);

// Full Unicode case folding, composed (NFC). Text that is not valid UTF-8 has
// only its ASCII letters folded.
std::string caseFolded(std::string_view text);

}  // namespace veltrop::platform
