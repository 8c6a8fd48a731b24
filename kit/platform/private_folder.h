#pragma once
// Private temporary folders beside a destination, in which a new file is
// finished before an exclusive rename moves it into place. A folder holds a
// locked file for as long as its writer uses it: a later run can then tell a
// folder whose writer died (a crash, kill -9, a power cut) from one that is
// still being written, and removes only the first kind.

#include <chrono>
#include <cstddef>
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace veltrop::platform {

// The file inside every private folder whose lock the writer holds.
inline constexpr std::string_view privateFolderLockName = "lock";

// A folder without a lock file is either being set up right now or was left
// by a writer that did not lock its folders; it counts as abandoned only when
// it has not changed for this long.
inline constexpr std::chrono::hours unlockedFolderAge{24};

class PrivateFolder {
public:
    // Makes parent/name (permissions 0700, not its parents) and locks it
    // before its lock file can be seen, so that no other run ever finds it
    // unlocked while this one lives.
    [[nodiscard]] static std::expected<PrivateFolder, std::error_code> create(const std::filesystem::path& parent,
                                                                              const std::string& name);

    PrivateFolder(PrivateFolder&& other) noexcept;
    PrivateFolder& operator=(PrivateFolder&& other) noexcept;
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    // Removes the folder and the files left in it, then releases the lock.
    ~PrivateFolder();

    const std::filesystem::path& location() const { return location_; }
    std::filesystem::path file(std::string_view name) const { return location_ / name; }

private:
    PrivateFolder(std::filesystem::path location, int lock) : location_(std::move(location)), lock_(lock) {}
    void release();

    std::filesystem::path location_;
    int lock_ = -1;
};

// Removes the abandoned private folders directly inside folder whose names
// are prefix followed by a UUID: every one whose lock nobody holds, and one
// without a lock file once it is unlockedFolderAge old. A folder whose lock
// is held, a symbolic link, another user's folder or anything named
// otherwise is left alone. Returns how many folders were removed.
std::size_t removeAbandonedPrivateFolders(const std::filesystem::path& folder, std::string_view prefix);

// Writes bytes to a new file at location without ever replacing anything:
// the file is finished as temporaryName inside the private folder
// privateFolderName beside location and then moved into place with an
// exclusive rename. EEXIST when something is already at location; no
// temporary file or folder remains either way.
std::error_code publishNewFile(const std::filesystem::path& location, std::string_view bytes,
                               const std::string& privateFolderName, std::string_view temporaryName);

}  // namespace veltrop::platform
