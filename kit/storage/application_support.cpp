#include "kit/storage/application_support.h"

#include <cstdlib>

namespace veltrop::storage {

namespace fs = std::filesystem;

std::optional<std::string> processEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

std::expected<fs::path, FileSystemError> applicationSupportFolder(const EnvironmentLookup& environment) {
    fs::path folder;
    if (auto dataHome = environment("XDG_DATA_HOME"); dataHome && fs::path(*dataHome).is_absolute()) {
        folder = *dataHome;
    } else if (auto home = environment("HOME"); home && fs::path(*home).is_absolute()) {
        folder = fs::path(*home) / ".local" / "share";
    } else {
        return std::unexpected(FileSystemError{FileSystemError::Operation::locate, {},
                                               std::make_error_code(std::errc::no_such_file_or_directory)});
    }
    folder = folder.lexically_normal();
    std::error_code error;
    fs::create_directories(folder, error);
    if (error) return std::unexpected(FileSystemError{FileSystemError::Operation::createFolder, folder, error});
    if (!fs::is_directory(folder, error))
        return std::unexpected(FileSystemError{FileSystemError::Operation::createFolder, folder,
                                               std::make_error_code(std::errc::not_a_directory)});
    return folder;
}

std::expected<fs::path, FileSystemError> veltropFolder(const EnvironmentLookup& environment) {
    auto folder = applicationSupportFolder(environment);
    if (!folder) return std::unexpected(folder.error());
    return *folder / "Veltrop";
}

}  // namespace veltrop::storage
