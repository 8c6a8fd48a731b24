#include "kit/handover/handover_error.h"

namespace veltrop::handover {

std::string HandoverError::description() const {
    switch (kind) {
        case Kind::cannotReadThumbnail: return "Could not read the exported preview for " + fileName;
        case Kind::cannotWrite: return "Could not save " + fileName + "; existing files were preserved";
        case Kind::cannotCreateFolder: return "Could not create a new handover folder";
        case Kind::cannotCreatePDF: return "Could not create the PDF contact sheet";
    }
    return {};
}

std::string PackageFolderError::description() const {
    return system ? system.message() : handover.description();
}

}  // namespace veltrop::handover
