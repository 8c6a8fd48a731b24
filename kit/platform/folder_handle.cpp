#include "kit/platform/folder_handle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kit/platform/volume.h"

namespace veltrop::platform {

namespace {

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

}  // namespace

struct FolderHandle::Descriptor {
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    ~Descriptor() { ::close(fd); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
    mutable std::optional<bool> caseSensitive;
};

std::optional<FolderHandle> FolderHandle::open(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), folderFlags);
    if (fd < 0) return std::nullopt;
    return FolderHandle(std::make_shared<Descriptor>(fd));
}

std::optional<FolderHandle> FolderHandle::openChild(const std::string& name, const std::string& childPath) const {
    int fd = ::openat(descriptor_->fd, name.c_str(), folderFlags | O_NOFOLLOW);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE)) fd = ::open(childPath.c_str(), folderFlags | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    return FolderHandle(std::make_shared<Descriptor>(fd));
}

std::vector<FolderHandle::Entry> FolderHandle::entries() const {
    std::vector<Entry> list;
    const int listing = ::openat(descriptor_->fd, ".", folderFlags);
    if (listing < 0) return list;
    DIR* directory = ::fdopendir(listing);
    if (directory == nullptr) {
        ::close(listing);
        return list;
    }
    while (const dirent* item = ::readdir(directory)) {
        const std::string_view name = item->d_name;
        if (name == "." || name == "..") continue;
        Entry entry{std::string(name), EntryType::other};
        unsigned char type = item->d_type;
        if (type == DT_UNKNOWN) {
            struct stat info {};
            if (::fstatat(descriptor_->fd, item->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
                type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_UNKNOWN;
        }
        if (type == DT_DIR) entry.type = EntryType::folder;
        if (type == DT_REG) entry.type = EntryType::regularFile;
        list.push_back(std::move(entry));
    }
    ::closedir(directory);
    return list;
}

bool FolderHandle::contains(std::string_view name) const {
    struct stat info {};
    return ::fstatat(descriptor_->fd, std::string(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool FolderHandle::isCaseSensitive() const {
    if (!descriptor_->caseSensitive) descriptor_->caseSensitive = isFolderCaseSensitive(descriptor_->fd);
    return *descriptor_->caseSensitive;
}

}  // namespace veltrop::platform
