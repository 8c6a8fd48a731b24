#pragma once
// Base64 (RFC 4648, with padding) for the byte strings kept in JSON files.

#include <optional>
#include <string>
#include <string_view>

namespace veltrop::storage::detail {

std::string base64Encode(std::string_view bytes);
// nullopt for anything but canonical padded Base64.
std::optional<std::string> base64Decode(std::string_view text);

}  // namespace veltrop::storage::detail
