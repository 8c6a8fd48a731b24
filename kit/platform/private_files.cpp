#include "kit/platform/private_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "kit/platform/descriptor.h"

namespace veltrop::platform {

namespace {

using detail::Descriptor;
using detail::lastError;

std::error_code writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

std::filesystem::path folderOf(const std::filesystem::path& file) {
    const std::filesystem::path parent = file.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

// Makes a rename inside the folder survive a crash.
void syncFolder(const std::filesystem::path& folder) {
    Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid()) ::fsync(directory.get());
}

}  // namespace

std::expected<std::string, std::error_code> readWholeFile(const std::filesystem::path& file) {
    // A FIFO or device in the file's place must not block or stream for ever.
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return std::unexpected(lastError());
    if (S_ISDIR(info.st_mode)) return std::unexpected(std::make_error_code(std::errc::is_a_directory));
    if (!S_ISREG(info.st_mode)) return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    Descriptor input(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!input.valid()) return std::unexpected(lastError());
    if (::fstat(input.get(), &info) != 0) return std::unexpected(lastError());
    if (S_ISDIR(info.st_mode)) return std::unexpected(std::make_error_code(std::errc::is_a_directory));
    if (!S_ISREG(info.st_mode)) return std::unexpected(std::make_error_code(std::errc::invalid_argument));
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(input.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(lastError());
        }
        if (count == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    return bytes;
}

std::error_code writeFileAtomically(const std::filesystem::path& destination, std::string_view bytes) {
    // Hidden and in the same folder, so that the rename never crosses file systems.
    std::string pattern = (folderOf(destination) / ("." + destination.filename().string() + ".XXXXXX")).string();
    Descriptor output(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!output.valid()) return lastError();
    const std::filesystem::path temporary = pattern;

    std::error_code error = writeAll(output.get(), bytes);
    if (!error && ::fsync(output.get()) != 0) error = lastError();
    if (!error) error = output.close();
    if (!error && ::rename(temporary.c_str(), destination.c_str()) != 0) error = lastError();
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    syncFolder(folderOf(destination));
    return {};
}

std::error_code copyFileExclusively(const std::filesystem::path& source, const std::filesystem::path& destination) {
    Descriptor input(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!input.valid()) return lastError();
    struct stat info {};
    if (::fstat(input.get(), &info) != 0) return lastError();
    if (!S_ISREG(info.st_mode)) return std::make_error_code(std::errc::invalid_argument);

    Descriptor output(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!output.valid()) return lastError();

    std::error_code error;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(input.get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR) continue;
            error = lastError();
            break;
        }
        if (count == 0) break;
        error = writeAll(output.get(), {buffer, static_cast<std::size_t>(count)});
        if (error) break;
    }
    if (!error && ::fsync(output.get()) != 0) error = lastError();
    if (!error) error = output.close();
    if (error) {
        ::unlink(destination.c_str());
        return error;
    }
    syncFolder(folderOf(destination));
    return {};
}

std::error_code makeDirectory(const std::filesystem::path& directory, unsigned mode) {
    return ::mkdir(directory.c_str(), static_cast<mode_t>(mode)) == 0 ? std::error_code{} : lastError();
}

std::error_code removeDirectory(const std::filesystem::path& directory) {
    return ::rmdir(directory.c_str()) == 0 ? std::error_code{} : lastError();
}

std::error_code writeNewFile(const std::filesystem::path& file, std::string_view bytes) {
    Descriptor output(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!output.valid()) return lastError();
    std::error_code error = writeAll(output.get(), bytes);
    if (!error) error = output.close();
    if (error) ::unlink(file.c_str());
    return error;
}

std::expected<FileIdentity, std::error_code> fileIdentity(const std::filesystem::path& item) {
    struct stat info {};
    if (::stat(item.c_str(), &info) != 0) return std::unexpected(lastError());
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        S_ISDIR(info.st_mode)};
}

}  // namespace veltrop::platform
