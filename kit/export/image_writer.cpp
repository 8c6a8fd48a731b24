#include "kit/export/image_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "kit/platform/exclusive_rename.h"
#include "kit/platform/exif_metadata.h"
#include "kit/platform/jpeg_codec.h"
#include "kit/settings/uuid.h"

namespace veltrop::exporting {

namespace {

ImageWriteError failure(ImageWriteError::Kind kind, const std::filesystem::path& destination) {
    return {kind, destination, {}};
}

ImageWriteError fileSystemFailure(const std::filesystem::path& item, std::error_code error) {
    return {ImageWriteError::Kind::fileSystem, item, error};
}

// Removes the temporary file and folder whatever happened; failures of the
// clean-up itself change nothing for the caller.
class TemporaryFolder {
public:
    explicit TemporaryFolder(std::filesystem::path folder) : folder_(std::move(folder)) {}
    ~TemporaryFolder() {
        ::unlink(file().c_str());
        ::rmdir(folder_.c_str());
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    std::filesystem::path file() const { return folder_ / "output.jpg"; }

private:
    std::filesystem::path folder_;
};

bool writeJpeg(const image::Bitmap& image, int quality, const platform::MetadataBlocks& metadata,
               const std::filesystem::path& file, bool& created) {
    std::FILE* out = std::fopen(file.c_str(), "wbx");
    created = out != nullptr;
    if (out == nullptr) return false;
    bool written = platform::encodeJpeg(image, quality, metadata, out);
    // The data must be on disk before the name is: after a crash the
    // destination holds the whole picture or nothing.
    written = written && ::fsync(fileno(out)) == 0;
    written = std::fclose(out) == 0 && written;
    return written;
}

}  // namespace

std::string ImageWriteError::description() const {
    const std::string name = destination.filename().string();
    switch (kind) {
        case Kind::cannotCreateDestination: return "Could not create " + name;
        case Kind::writeFailed: return "Could not write " + name;
        case Kind::destinationExists: return "A file already exists at " + destination.string() + "; it was not replaced";
        case Kind::fileSystem: return destination.string() + ": " + error.message();
    }
    return name;
}

int ImageWriter::encoderQuality(double quality) {
    if (!std::isfinite(quality)) return 95;
    return std::clamp(static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0)), 1, 100);
}

std::expected<void, ImageWriteError> ImageWriter::write(const image::Bitmap& image,
                                                        const std::filesystem::path& destination,
                                                        const SourceMetadata& sourceMetadata,
                                                        const WriteOptions& options) {
    if (image.empty() || destination.filename().empty())
        return std::unexpected(failure(ImageWriteError::Kind::writeFailed, destination));

    const std::filesystem::path parent = destination.parent_path().empty() ? "." : destination.parent_path();
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error) return std::unexpected(fileSystemFailure(parent, error));

    const std::filesystem::path folder = parent / (".veltrop-" + settings::Uuid::random().text());
    if (::mkdir(folder.c_str(), 0700) != 0)
        return std::unexpected(fileSystemFailure(folder, {errno, std::generic_category()}));
    const TemporaryFolder temporary(folder);

    const platform::MetadataBlocks metadata =
        platform::metadataForCopy(sourceMetadata, {image.width, image.height, options.removeGPS});
    bool created = false;
    if (!writeJpeg(image, encoderQuality(options.quality), metadata, temporary.file(), created))
        return std::unexpected(failure(
            created ? ImageWriteError::Kind::writeFailed : ImageWriteError::Kind::cannotCreateDestination, destination));

    const std::error_code moved = platform::renameWithoutReplacing(temporary.file(), destination);
    if (moved == std::errc::file_exists)
        return std::unexpected(failure(ImageWriteError::Kind::destinationExists, destination));
    if (moved) return std::unexpected(failure(ImageWriteError::Kind::writeFailed, destination));
    return {};
}

}  // namespace veltrop::exporting
