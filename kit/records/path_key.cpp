#include "kit/records/path_key.h"

#include <vector>

#include "kit/platform/unicode.h"
#include "kit/platform/volume.h"

namespace veltrop::records {

namespace fs = std::filesystem;

fs::path standardized(const fs::path& location) {
    std::error_code error;
    fs::path absolute = fs::absolute(location, error);
    if (error) absolute = location;
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

namespace detail {

ResolvedLocation resolve(const fs::path& location) {
    fs::path current = standardized(location);
    std::vector<fs::path> removed;
    // A broken or looping link exists but cannot be resolved: keep walking up,
    // the link's own name then stays in the key as written.
    for (;;) {
        std::error_code error;
        const fs::file_status status = fs::symlink_status(current, error);
        const bool exists = !error && fs::exists(status);
        if (exists) {
            fs::path real = fs::canonical(current, error);
            if (!error) {
                ResolvedLocation result{real, real};
                for (auto it = removed.rbegin(); it != removed.rend(); ++it) result.path /= *it;
                return result;
            }
        }
        if (current == current.root_path() || !current.has_relative_path()) break;
        removed.push_back(current.filename());
        current = current.parent_path();
    }
    fs::path whole = standardized(location);
    return {whole, current};
}

}  // namespace detail

std::string pathKey(const fs::path& location) { return pathKey(location, platform::isCaseSensitive); }

std::string pathKey(const fs::path& location, const CaseSensitivityQuery& isCaseSensitive) {
    const detail::ResolvedLocation resolved = detail::resolve(location);
    return pathKeyOfResolved(resolved.path.native(), isCaseSensitive(resolved.existingPart));
}

std::string pathKeyOfResolved(std::string_view resolvedPath, bool caseSensitive) {
    std::string text = platform::nfc(resolvedPath);
    if (!caseSensitive) text = platform::caseFolded(text);
    return text;
}

}  // namespace veltrop::records
