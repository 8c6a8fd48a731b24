#include "kit/export/image_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

#include "kit/platform/exclusive_rename.h"
#include "kit/platform/copy_segments.h"
#include "kit/platform/jpeg_codec.h"
#include "kit/platform/private_folder.h"
#include "kit/settings/uuid.h"

namespace veltrop::exporting {

namespace {

ImageWriteError failure(ImageWriteError::Kind kind, const std::filesystem::path& destination) {
    return {kind, destination, {}};
}

ImageWriteError fileSystemFailure(const std::filesystem::path& item, std::error_code error) {
    return {ImageWriteError::Kind::fileSystem, item, error};
}

bool writeJpeg(const std::function<bool(std::FILE*)>& encode, const std::filesystem::path& file, bool& created) {
    std::FILE* out = std::fopen(file.c_str(), "wbx");
    created = out != nullptr;
    if (out == nullptr) return false;
    bool written = encode(out);
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

std::size_t ImageWriter::removeAbandonedFolders(const std::filesystem::path& folder) {
    return platform::removeAbandonedPrivateFolders(folder, privateFolderPrefix);
}

int ImageWriter::encoderQuality(double quality) {
    if (!std::isfinite(quality)) return 95;
    return std::clamp(static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0)), 1, 100);
}

std::expected<void, ImageWriteError> ImageWriter::write(const image::Bitmap& image,
                                                        const std::filesystem::path& destination,
                                                        const SourceMetadata& sourceMetadata,
                                                        const WriteOptions& options) {
    return write(image, destination, sourceMetadata, options, {});
}

std::expected<void, ImageWriteError> ImageWriter::write(const image::Bitmap& image,
                                                        const std::filesystem::path& destination,
                                                        const SourceMetadata& sourceMetadata,
                                                        const WriteOptions& options,
                                                        const std::function<bool(int rows)>& waitForRows) {
    if (image.empty() || destination.filename().empty())
        return std::unexpected(failure(ImageWriteError::Kind::writeFailed, destination));
    const auto segments = platform::segmentsForCopy(sourceMetadata,
                                                     {image.width, image.height, options.removeGPS, options.date});
    const int quality = encoderQuality(options.quality);
    return writeEncoded(destination,
                        [&](std::FILE* out) { return platform::encodeJpeg(image, quality, segments, out, waitForRows); });
}

std::expected<void, ImageWriteError> ImageWriter::writeEncoded(const std::filesystem::path& destination,
                                                               const std::function<bool(std::FILE*)>& encode) {
    if (destination.filename().empty())
        return std::unexpected(failure(ImageWriteError::Kind::writeFailed, destination));

    const std::filesystem::path parent = destination.parent_path().empty() ? "." : destination.parent_path();
    std::error_code error;
    std::filesystem::create_directories(parent, error);
    if (error) return std::unexpected(fileSystemFailure(parent, error));

    // Removed with its files whatever happens below; locked while it exists,
    // so that a later export can tell it from one left by a killed run.
    const std::string folderName = std::string(privateFolderPrefix) + settings::Uuid::random().text();
    auto temporary = platform::PrivateFolder::create(parent, folderName);
    if (!temporary) return std::unexpected(fileSystemFailure(parent / folderName, temporary.error()));
    const std::filesystem::path file = temporary->file("output.jpg");

    bool created = false;
    if (!writeJpeg(encode, file, created))
        return std::unexpected(failure(
            created ? ImageWriteError::Kind::writeFailed : ImageWriteError::Kind::cannotCreateDestination, destination));

    const std::error_code moved = platform::renameWithoutReplacing(file, destination);
    if (moved == std::errc::file_exists)
        return std::unexpected(failure(ImageWriteError::Kind::destinationExists, destination));
    if (moved) return std::unexpected(failure(ImageWriteError::Kind::writeFailed, destination));
    return {};
}

}  // namespace veltrop::exporting
