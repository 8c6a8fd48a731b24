#pragma once
// Folders reached through open handles rather than paths. A sub-folder is
// opened from its parent, so the system's work per folder does not grow with
// the folder's depth, and folders whose path is longer than the system's
// limit can still be listed.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrop::platform {

class FolderHandle {
public:
    enum class EntryType {
        folder,       // a folder itself, not a link to one
        regularFile,  // a regular file itself, not a link to one
        other,        // links, FIFOs, devices, sockets, and items whose type cannot be read
    };

    struct Entry {
        std::string name;
        EntryType type = EntryType::other;
        bool operator==(const Entry&) const = default;
    };

    // Follows symbolic links, as opening the folder by its path would.
    [[nodiscard]] static std::optional<FolderHandle> open(const std::filesystem::path& folder);
    // Never follows a link: a link to a folder is not a sub-folder. When no
    // more descriptors can be had, falls back to childPath (which must be
    // the child's full path).
    [[nodiscard]] std::optional<FolderHandle> openChild(const std::string& name, const std::string& childPath) const;

    // Everything but "." and "..", in listing order.
    std::vector<Entry> entries() const;
    // Whether an item of this name exists (a broken link counts).
    bool contains(std::string_view name) const;
    // Whether names differing only in letter case are different items here.
    bool isCaseSensitive() const;

private:
    struct Descriptor;
    explicit FolderHandle(std::shared_ptr<Descriptor> descriptor) : descriptor_(std::move(descriptor)) {}
    std::shared_ptr<Descriptor> descriptor_;
};

}  // namespace veltrop::platform
