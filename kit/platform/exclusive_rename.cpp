#include "kit/platform/exclusive_rename.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace veltrop::platform {

namespace {

int renameNoReplace(const char* source, const char* destination) {
#ifdef SYS_renameat2
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, source, AT_FDCWD, destination, RENAME_NOREPLACE));
#else
    errno = ENOSYS;
    return -1;
#endif
}

std::error_code lastError() { return {errno, std::generic_category()}; }

}  // namespace

namespace detail {

std::error_code linkThenUnlink(const std::filesystem::path& source, const std::filesystem::path& destination) {
    if (::link(source.c_str(), destination.c_str()) != 0) return lastError();
    // The file is in place; a leftover source name is only clutter in the
    // private temporary folder, which the caller removes.
    ::unlink(source.c_str());
    return {};
}

}  // namespace detail

std::error_code renameWithoutReplacing(const std::filesystem::path& source, const std::filesystem::path& destination) {
    if (renameNoReplace(source.c_str(), destination.c_str()) == 0) return {};
    const int error = errno;
    if (error == EINVAL || error == ENOSYS || error == ENOTSUP) return detail::linkThenUnlink(source, destination);
    return {error, std::generic_category()};
}

}  // namespace veltrop::platform
