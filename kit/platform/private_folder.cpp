#include "kit/platform/private_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "kit/platform/descriptor.h"
#include "kit/platform/exclusive_rename.h"

namespace veltrop::platform {

namespace {

constexpr const char* pendingLockName = "lock.new";

using detail::Descriptor;
using detail::lastError;

// 8-4-4-4-12 hexadecimal digits, as a UUID's text form.
bool isUuidText(std::string_view text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> entryNames(int folder) {
    std::vector<std::string> names;
    const int listing = ::dup(folder);
    if (listing < 0) return names;
    DIR* directory = ::fdopendir(listing);
    if (directory == nullptr) {
        ::close(listing);
        return names;
    }
    ::rewinddir(directory);
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    ::closedir(directory);
    return names;
}

// Files only: a private folder never holds folders, and one that does is
// not removed.
void removeFiles(int folder) {
    for (const std::string& name : entryNames(folder)) ::unlinkat(folder, name.c_str(), 0);
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::error_code writeNewDurableFile(const std::filesystem::path& file, std::string_view bytes) {
    Descriptor output(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!output.valid()) return lastError();
    if (!writeAll(output.get(), bytes) || ::fsync(output.get()) != 0) return lastError();
    if (::close(output.release()) != 0) return lastError();
    return {};
}

// For a folder without a lock file.
bool untouchedLongEnough(const struct stat& info) {
    const auto age = std::chrono::seconds(std::time(nullptr) - info.st_mtim.tv_sec);
    return age >= unlockedFolderAge;
}

}  // namespace

std::expected<PrivateFolder, std::error_code> PrivateFolder::create(const std::filesystem::path& parent,
                                                                    const std::string& name) {
    const std::filesystem::path location = parent / name;
    if (::mkdir(location.c_str(), 0700) != 0) return std::unexpected(lastError());
    Descriptor folder(::open(location.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    std::error_code error;
    int lock = -1;
    if (!folder.valid()) {
        error = lastError();
    } else {
        // Locked under a name no other run looks at, then renamed: the lock
        // file is never visible unlocked.
        lock = ::openat(folder.get(), pendingLockName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (lock < 0 || ::flock(lock, LOCK_EX) != 0 ||
            ::renameat(folder.get(), pendingLockName, folder.get(), std::string(privateFolderLockName).c_str()) != 0)
            error = lastError();
    }
    if (error) {
        if (folder.valid()) removeFiles(folder.get());
        ::rmdir(location.c_str());
        if (lock >= 0) ::close(lock);
        return std::unexpected(error);
    }
    return PrivateFolder(location, lock);
}

PrivateFolder::PrivateFolder(PrivateFolder&& other) noexcept
    : location_(std::move(other.location_)), lock_(other.lock_) {
    other.lock_ = -1;
}

PrivateFolder& PrivateFolder::operator=(PrivateFolder&& other) noexcept {
    if (this != &other) {
        release();
        location_ = std::move(other.location_);
        lock_ = other.lock_;
        other.lock_ = -1;
    }
    return *this;
}

PrivateFolder::~PrivateFolder() { release(); }

void PrivateFolder::release() {
    if (lock_ < 0) return;
    // Failures of the clean-up change nothing for the caller; a later run
    // finds the folder unlocked and removes it.
    Descriptor folder(::open(location_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.valid()) removeFiles(folder.get());
    ::rmdir(location_.c_str());
    ::close(lock_);
    lock_ = -1;
}

std::size_t removeAbandonedPrivateFolders(const std::filesystem::path& folder, std::string_view prefix) {
    Descriptor parent(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.valid()) return 0;
    std::size_t removed = 0;
    for (const std::string& name : entryNames(parent.get())) {
        if (!name.starts_with(prefix) || !isUuidText(std::string_view(name).substr(prefix.size()))) continue;
        Descriptor candidate(::openat(parent.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!candidate.valid()) continue;
        struct stat info {};
        if (::fstat(candidate.get(), &info) != 0 || info.st_uid != ::geteuid()) continue;
        // The writer's lock goes with its last descriptor, that is with the
        // writer itself. Taken here, it keeps a second cleaning run away
        // until the folder is gone.
        Descriptor lock(::openat(candidate.get(), std::string(privateFolderLockName).c_str(),
                                 O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (lock.valid()) {
            if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) continue;  // still being written
        } else if (errno != ENOENT || !untouchedLongEnough(info)) {
            continue;
        }
        removeFiles(candidate.get());
        if (::unlinkat(parent.get(), name.c_str(), AT_REMOVEDIR) == 0) ++removed;
    }
    return removed;
}

std::error_code publishNewFile(const std::filesystem::path& location, std::string_view bytes,
                               const std::string& privateFolderName, std::string_view temporaryName) {
    const std::filesystem::path parent = location.parent_path().empty() ? "." : location.parent_path();
    auto folder = PrivateFolder::create(parent, privateFolderName);
    if (!folder) return folder.error();
    const std::filesystem::path temporary = folder->file(temporaryName);
    if (const std::error_code written = writeNewDurableFile(temporary, bytes)) return written;
    return renameWithoutReplacing(temporary, location);
}

}  // namespace veltrop::platform
