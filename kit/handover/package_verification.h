#pragma once
// Checking a handover package against its own checksum lists: every listed
// file present and unchanged, nothing added, and, given the folder the
// originals were exported from, every original unchanged.

#include <cstddef>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace veltrop::handover {

struct PackageProblem {
    enum class Kind {
        noList,         // path: the list's name
        malformedLine,  // path: the list's name; line set
        missing,
        changed,
        unreadable,
        unexpected,
        missingOriginal,
        changedOriginal,
        unreadableOriginal,
    };
    Kind kind = Kind::missing;
    std::string path;      // relative to the package, or to the originals' folder
    std::size_t line = 0;  // malformedLine: 1-based

    // One line: "Changed: Photos/IMG_0001.jpg".
    std::string description() const;
    bool operator==(const PackageProblem&) const = default;
};

struct PackageVerification {
    std::vector<PackageProblem> problems;
    std::size_t filesChecked = 0;
    std::size_t originalsChecked = 0;
    // SHA-256 of Checksums.sha256 itself: sent apart from the package, it
    // shows that the list was not replaced along with the files.
    std::optional<std::string> fingerprint;

    bool holds() const { return problems.empty(); }
    bool operator==(const PackageVerification&) const = default;
};

// Reads every file in the package once, in fixed-size pieces. With
// `originals`, also every original listed in Sources.sha256, found under
// that folder by its index path.
PackageVerification verifyPackage(const std::filesystem::path& package,
                                  const std::optional<std::filesystem::path>& originals = std::nullopt);

// Where each original is, by the path Sources.sha256 lists it under (the
// n-th listing of a path is the n-th file): known exactly to whoever just
// exported the package, whatever folders the originals came from. A listed
// original not named here counts as missing.
using OriginalFiles = std::map<std::string, std::vector<std::filesystem::path>>;
PackageVerification verifyPackage(const std::filesystem::path& package, const OriginalFiles& originals);

}  // namespace veltrop::handover
