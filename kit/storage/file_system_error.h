#pragma once
// A file-system failure passed on from the platform: what was being done,
// to which location, and the system's own error.

#include <filesystem>
#include <string>
#include <system_error>

namespace veltrop::storage {

struct FileSystemError {
    enum class Operation {
        locate,        // finding the per-user folder for private files
        read,
        write,
        createFolder,
        copy,
        remove,
        decode,        // the file was read but its content is damaged
    };

    Operation operation = Operation::read;
    std::filesystem::path location;
    std::error_code error;

    static FileSystemError missingFile(std::filesystem::path location) {
        return {Operation::read, std::move(location), std::make_error_code(std::errc::no_such_file_or_directory)};
    }

    std::string description() const;
    bool operator==(const FileSystemError&) const = default;
};

}  // namespace veltrop::storage
