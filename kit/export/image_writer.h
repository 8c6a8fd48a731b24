#pragma once
// Encoding a rendered photo as a new JPEG file that never replaces anything.

#include <cstddef>
#include <cstdio>
#include <expected>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "kit/export/image_loader.h"
#include "kit/image/bitmap.h"
#include "kit/platform/exif_patch.h"

namespace veltrop::exporting {

// The private folders beside a destination in which copies are finished.
inline constexpr std::string_view privateFolderPrefix = ".veltrop-";

struct WriteOptions {
    double quality = 0.95;  // 0…1, mapped onto the encoder's 1…100
    bool removeGPS = false;
    std::optional<platform::CopyDate> date = std::nullopt;  // recorded instead of the source's dates
    bool operator==(const WriteOptions&) const = default;
};

struct ImageWriteError {
    enum class Kind {
        cannotCreateDestination,
        writeFailed,
        destinationExists,
        fileSystem,  // creating a folder failed; the system's own error
    };
    Kind kind = Kind::writeFailed;
    std::filesystem::path destination;  // for fileSystem: the folder that could not be made
    std::error_code error;              // for fileSystem

    std::string description() const;
    bool operator==(const ImageWriteError&) const = default;
};

class ImageWriter {
public:
    // Writes image (already upright) to destination as a JPEG carrying the
    // source metadata with orientation 1, no thumbnail, the new pixel size
    // and, on request, no GPS and a new capture date. The file is finished in a private folder
    // beside the destination and moved into place only if nothing exists
    // there; no temporary file or folder remains either way.
    [[nodiscard]] static std::expected<void, ImageWriteError> write(const image::Bitmap& image,
                                                                    const std::filesystem::path& destination,
                                                                    const SourceMetadata& sourceMetadata,
                                                                    const WriteOptions& options);

    // The same for a picture still being made: see platform::encodeJpeg for
    // waitForRows. The bytes are those write() gives for the finished picture.
    [[nodiscard]] static std::expected<void, ImageWriteError> write(const image::Bitmap& image,
                                                                    const std::filesystem::path& destination,
                                                                    const SourceMetadata& sourceMetadata,
                                                                    const WriteOptions& options,
                                                                    const std::function<bool(int rows)>& waitForRows);

    // Removes the private folders that killed or crashed writes left in
    // folder; never one that a running write still holds. Returns how many.
    static std::size_t removeAbandonedFolders(const std::filesystem::path& folder);

    // The same steps around an encoder of the caller's: `encode` writes the
    // whole JPEG to the stream and says whether it succeeded.
    [[nodiscard]] static std::expected<void, ImageWriteError> writeEncoded(
        const std::filesystem::path& destination, const std::function<bool(std::FILE*)>& encode);

    // The encoder's quality for an option value.
    static int encoderQuality(double quality);
};

}  // namespace veltrop::exporting

template <>
struct std::hash<veltrop::exporting::WriteOptions> {
    std::size_t operator()(const veltrop::exporting::WriteOptions& options) const noexcept {
        return std::hash<double>{}(options.quality) * 31 + std::hash<bool>{}(options.removeGPS);
    }
};
