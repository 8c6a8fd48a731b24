#pragma once
// Moving a finished file into place without ever replacing what is there.

#include <filesystem>
#include <system_error>

namespace veltrop::platform {

// Renames source to destination, failing with EEXIST when anything exists
// at the destination. Where the file system refuses an exclusive rename the
// file is hard-linked (which also refuses to replace) and the source name
// removed. An empty error code is success.
std::error_code renameWithoutReplacing(const std::filesystem::path& source, const std::filesystem::path& destination);

namespace detail {

// The fallback on its own, so that it can be tested on any file system.
std::error_code linkThenUnlink(const std::filesystem::path& source, const std::filesystem::path& destination);

}  // namespace detail

}  // namespace veltrop::platform
