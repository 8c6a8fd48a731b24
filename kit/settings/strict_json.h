#pragma once
// What the JSON parser accepts but a settings text must not hold: a key
// written twice in one object (the parser keeps the last, silently) and a
// NUL byte (the parser stops there and ignores whatever follows).

#include <optional>
#include <string>
#include <string_view>

#include "kit/settings/settings_json.h"

namespace veltrop::settings::detail {

// The first such problem, with the path of the object at fault written as
// the decoders write it (rootPath for the top-level object); nullopt when
// there is none or the text is not JSON at all (the parser then says why).
std::optional<SettingsCodingError> strictnessProblem(std::string_view json, const std::string& rootPath);

}  // namespace veltrop::settings::detail
