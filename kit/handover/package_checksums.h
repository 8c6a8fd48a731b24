#pragma once
// A package that proves itself: "Checksums.sha256" lists the SHA-256 of
// every file in the package, "Sources.sha256" that of every original that
// was exported, under its path in the photo index. Both are in the form
// `sha256sum -c` reads. The digests of copies and originals are taken by the
// batch's workers right after each copy is written, so hashing overlaps the
// export instead of following it.

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kit/export/batch_processor.h"
#include "kit/handover/package_verification.h"
#include "kit/platform/sha256.h"

namespace veltrop::handover {

inline constexpr std::string_view checksumsFileName = "Checksums.sha256";
inline constexpr std::string_view sourcesFileName = "Sources.sha256";

// Digests taken while a batch runs, by copy location. Workers add to it
// concurrently; it is read once the batch is over.
class PackageDigests {
public:
    struct Entry {
        platform::Sha256Digest copy{};
        std::optional<platform::Sha256Digest> source;  // absent when the original could not be read again
        bool operator==(const Entry&) const = default;
    };

    void add(const std::filesystem::path& copy, const Entry& entry);
    std::optional<Entry> find(const std::filesystem::path& copy) const;

private:
    mutable std::mutex mutex_;
    std::map<std::filesystem::path, Entry> entries_;
};

// The step with hashing added: once a copy is written, the worker hashes it
// and then the original, while both are fresh in the page cache.
exporting::BatchProcessor::StampStep hashingStep(exporting::BatchProcessor::StampStep step,
                                                 std::shared_ptr<PackageDigests> digests);

// A processor like the given one (same limits and step) whose copies are hashed as they are written.
std::shared_ptr<exporting::BatchProcessor> hashingProcessor(const exporting::BatchProcessor& processor,
                                                            std::shared_ptr<PackageDigests> digests);

struct ChecksumError {
    enum class Kind { cannotReadFile, cannotReadOriginal, cannotWrite };
    Kind kind = Kind::cannotWrite;
    std::string name;  // the package file, the original's index path, or the list not written
    std::string description() const;
    bool operator==(const ChecksumError&) const = default;
};

// Writes Sources.sha256, then Checksums.sha256 over everything else in the
// package. Digests missing from `digests` (or all, without it) are taken
// here. Never fails as a whole: what could not be listed or written is
// returned, and a file left out of a list will show up when verifying.
std::vector<ChecksumError> writeChecksums(const exporting::BatchSummary& summary, const std::filesystem::path& package,
                                          const PackageDigests* digests);

// Each original of the stamped photos by the path Sources.sha256 lists it
// under, in the list's order: photos from two folders of the same name may
// share one listed path.
OriginalFiles listedOriginals(const exporting::BatchSummary& summary);

// One line of a checksum list: digest, two spaces, path. A path holding a
// backslash, line feed or carriage return is escaped the way sha256sum does
// (the line then starts with a backslash).
std::string checksumLine(const platform::Sha256Digest& digest, std::string_view path);

struct ChecksumEntry {
    std::string digest;  // 64 lower-case hexadecimal digits
    std::string path;
    bool operator==(const ChecksumEntry&) const = default;
};
// Reads a line in sha256sum's form (text or binary marker); nullopt when it is not one.
std::optional<ChecksumEntry> parseChecksumLine(std::string_view line);

// Every item in the package but folders, as "/"-separated paths relative to
// it, sorted; `regular` is false for links and other special files.
struct PackageItem {
    std::string path;
    bool regular = true;
    bool operator==(const PackageItem&) const = default;
};
std::vector<PackageItem> packageItems(const std::filesystem::path& package);

}  // namespace veltrop::handover
