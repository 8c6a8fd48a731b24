#include "kit/platform/unicode.h"

#include <utf8proc.h>

#include <cstdlib>
#include <optional>

namespace veltrop::platform {
namespace {

std::optional<std::string> mapped(std::string_view text, int options) {
    if (text.empty()) return std::string{};
    utf8proc_uint8_t* result = nullptr;
    const utf8proc_ssize_t length =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                     static_cast<utf8proc_ssize_t>(text.size()), &result, static_cast<utf8proc_option_t>(options));
    if (length < 0) return std::nullopt;
    std::string out(reinterpret_cast<const char*>(result), static_cast<std::size_t>(length));
    std::free(result);
    return out;
}

}  // namespace

std::string nfc(std::string_view text) {
    return mapped(text, UTF8PROC_STABLE | UTF8PROC_COMPOSE).value_or(std::string(text));
}

std::string caseFolded(std::string_view text) {
    if (auto folded = mapped(text, UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD)) return *folded;
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace veltrop::platform
