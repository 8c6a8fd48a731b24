#pragma once
// Why a handover package or one of its reports could not be made.

#include <string>
#include <system_error>

namespace veltrop::handover {

struct HandoverError {
    enum class Kind {
        cannotReadThumbnail,  // fileName: the source photo's name
        cannotWrite,          // fileName: the report that was not saved
        cannotCreateFolder,
        cannotCreatePDF,
    };
    Kind kind = Kind::cannotCreateFolder;
    std::string fileName;

    static HandoverError cannotReadThumbnail(std::string name) { return {Kind::cannotReadThumbnail, std::move(name)}; }
    static HandoverError cannotWrite(std::string name) { return {Kind::cannotWrite, std::move(name)}; }
    static HandoverError cannotCreateFolder() { return {Kind::cannotCreateFolder, {}}; }
    static HandoverError cannotCreatePDF() { return {Kind::cannotCreatePDF, {}}; }

    std::string description() const;
    bool operator==(const HandoverError&) const = default;
};

// Creating the package folder fails either with our own error or, when the
// marker file cannot be written into the new folder, with what the file
// system reported.
struct PackageFolderError {
    HandoverError handover = HandoverError::cannotCreateFolder();
    std::error_code system;  // set when the marker could not be written

    std::string description() const;
    bool operator==(const PackageFolderError&) const = default;
};

}  // namespace veltrop::handover
