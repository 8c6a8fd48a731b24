#include "kit/settings/file_url.h"

namespace veltrop::settings {

namespace {

bool isUnreservedOrPathChar(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
        case '-': case '.': case '_': case '~':                       // unreserved
        case '!': case '$': case '&': case '\'': case '(': case ')':  // sub-delims
        case '*': case '+': case ',': case ';': case '=':
        case ':': case '@': case '/': return true;
        default: return false;
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> folderFileUrl(const std::filesystem::path& folder) {
    const std::string& native = folder.native();
    if (native.empty() || native.front() != '/' || native.find('\0') != std::string::npos) return std::nullopt;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const char c : native) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnreservedOrPathChar(byte)) {
            url.push_back(c);
        } else {
            url.push_back('%');
            url.push_back(hex[byte >> 4]);
            url.push_back(hex[byte & 0x0F]);
        }
    }
    // Folder URLs end in a slash; one is always added (except to the root),
    // so a location that already ends in one still reads back unchanged.
    if (native != "/") url.push_back('/');
    return url;
}

std::optional<std::filesystem::path> folderFromFileUrl(std::string_view url) {
    if (!startsWithIgnoringCase(url, "file:")) return std::nullopt;
    std::string_view rest = url.substr(5);
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const auto slash = rest.find('/');
        if (slash == std::string_view::npos) return std::nullopt;
        const std::string_view host = rest.substr(0, slash);
        if (!host.empty() && !(host.size() == 9 && startsWithIgnoringCase(host, "localhost"))) return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with("/")) return std::nullopt;

    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        const char c = rest[i];
        if (c == '%') {
            if (i + 2 >= rest.size()) return std::nullopt;
            const int high = hexDigit(rest[i + 1]);
            const int low = hexDigit(rest[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            const char decoded = static_cast<char>(high * 16 + low);
            if (decoded == '\0') return std::nullopt;
            path.push_back(decoded);
            i += 2;
        } else if (isUnreservedOrPathChar(static_cast<unsigned char>(c))) {
            path.push_back(c);
        } else {
            // A query, a fragment, a space or a character no URL may hold.
            return std::nullopt;
        }
    }
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    return std::filesystem::path(path);
}

}  // namespace veltrop::settings
