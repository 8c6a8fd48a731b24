#include "kit/platform/volume.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace veltrop::platform {
namespace {

// File-system magic numbers, spelled out because older kernel headers lack some.
constexpr unsigned long msdosMagic = 0x4d44;
constexpr unsigned long exfatMagic = 0x2011BAB0;
constexpr unsigned long ntfsMagic = 0x5346544e;   // the old ntfs driver
constexpr unsigned long ntfs3Magic = 0x7366746e;  // ntfs3
constexpr unsigned long smbMagic = 0x517B;
constexpr unsigned long cifsMagic = 0xFF534D42;
constexpr unsigned long smb2Magic = 0xFE534D42;
constexpr unsigned long fuseMagic = 0x65735546;
constexpr unsigned long ext4Magic = 0xEF53;
constexpr unsigned long f2fsMagic = 0xF2F52010;
constexpr int casefoldFlag = 0x40000000;

// The mount table's type of the mount holding the device, e.g. "fuseblk.ntfs-3g".
std::string mountType(dev_t device) {
    std::ifstream mounts("/proc/self/mountinfo");
    const std::string wanted = std::to_string(major(device)) + ":" + std::to_string(minor(device));
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, deviceNumbers;
        fields >> id >> parent >> deviceNumbers;
        if (deviceNumbers != wanted) continue;
        const auto separator = line.find(" - ");
        if (separator == std::string::npos) continue;
        std::istringstream tail(line.substr(separator + 3));
        std::string type;
        tail >> type;
        return type;
    }
    return {};
}

// A FUSE mount counts as NTFS or exFAT only when its subtype says so; plain
// "fuseblk" could be anything.
bool isCaseInsensitiveFuse(dev_t device) {
    const std::string type = mountType(device);
    const auto dot = type.find('.');
    if (dot == std::string::npos) return false;
    const std::string subtype = type.substr(dot + 1);
    return subtype.starts_with("ntfs") || subtype.starts_with("lowntfs") || subtype.starts_with("exfat");
}

// ext4 and f2fs fold case per folder; new folders inherit the flag.
bool hasCasefoldFlag(int folder) {
    int flags = 0;
    return ::ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & casefoldFlag) != 0;
}

bool hasCasefoldFlag(const std::filesystem::path& item) {
    struct stat info {};
    if (::stat(item.c_str(), &info) != 0) return false;
    const std::filesystem::path folder = S_ISDIR(info.st_mode) ? item : item.parent_path();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool folded = hasCasefoldFlag(fd);
    ::close(fd);
    return folded;
}

template <class FuseInsensitive, class Casefolded>
bool isCaseSensitive(const struct statfs& volume, FuseInsensitive fuseInsensitive, Casefolded casefolded) {
    switch (static_cast<unsigned long>(volume.f_type) & 0xFFFFFFFFul) {
        case msdosMagic:
        case exfatMagic:
        case ntfsMagic:
        case ntfs3Magic:
        case smbMagic:
        case cifsMagic:
        case smb2Magic:
            return false;
        case fuseMagic:
            return !fuseInsensitive();
        case ext4Magic:
        case f2fsMagic:
            return !casefolded();
        default:
            return true;
    }
}

}  // namespace

bool isCaseSensitive(const std::filesystem::path& existingFolderOrFile) {
    struct statfs volume {};
    if (::statfs(existingFolderOrFile.c_str(), &volume) != 0) return false;
    return isCaseSensitive(
        volume,
        [&] {
            struct stat info {};
            return ::stat(existingFolderOrFile.c_str(), &info) == 0 && isCaseInsensitiveFuse(info.st_dev);
        },
        [&] { return hasCasefoldFlag(existingFolderOrFile); });
}

bool isFolderCaseSensitive(int openFolder) {
    struct statfs volume {};
    if (::fstatfs(openFolder, &volume) != 0) return false;
    return isCaseSensitive(
        volume,
        [&] {
            struct stat info {};
            return ::fstat(openFolder, &info) == 0 && isCaseInsensitiveFuse(info.st_dev);
        },
        [&] { return hasCasefoldFlag(openFolder); });
}

}  // namespace veltrop::platform
