#include "kit/storage/file_system_error.h"

namespace veltrop::storage {

std::string FileSystemError::description() const {
    const std::string path = location.string();
    std::string text;
    switch (operation) {
        case Operation::locate: text = "Could not find the folder for Veltrop\u2019s own files"; break;
        case Operation::read: text = "Could not read " + path; break;
        case Operation::write: text = "Could not write " + path; break;
        case Operation::createFolder: text = "Could not create the folder " + path; break;
        case Operation::copy: text = "Could not copy to " + path; break;
        case Operation::remove: text = "Could not remove " + path; break;
        case Operation::decode: text = "The file " + path + " is damaged"; break;
    }
    if (error) text += " (" + error.message() + ")";
    return text;
}

}  // namespace veltrop::storage
