#pragma once
// Everything the model has to ask the user or the desktop: open panels,
// revealing files and opening them. Windows give the model a real
// implementation; tests give it a scripted one.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace veltrop::app {

class UserInteraction {
public:
    virtual ~UserInteraction() = default;

    // Photo files to add, several at once; empty when the user cancels.
    virtual std::vector<std::filesystem::path> choosePhotos() = 0;

    // One folder of photos to add. The platform's panels choose files or a
    // folder, not both at once.
    virtual std::optional<std::filesystem::path> choosePhotoFolder() { return std::nullopt; }

    // One folder, which the user may create; start is where the panel opens.
    virtual std::optional<std::filesystem::path> chooseOutputFolder(
        const std::string& message, const std::optional<std::filesystem::path>& start) = 0;

    // One PNG, JPEG, TIFF or HEIC file.
    virtual std::optional<std::filesystem::path> chooseWatermarkImage() = 0;

    // Shows the locations selected in the file manager.
    virtual void reveal(const std::vector<std::filesystem::path>& locations) = 0;

    // Opens a file with its default application.
    virtual void open(const std::filesystem::path& file) = 0;
};

// The texts of the panels, shared by every implementation.
namespace panelTexts {
inline constexpr const char* choosePhotosMessage = "Choose photos to stamp";
inline constexpr const char* choosePhotoFolderMessage = "Choose a folder of photos to stamp";
inline constexpr const char* chooseWatermarkMessage = "Choose a watermark image \u2014 a transparent PNG works best";
inline constexpr const char* chooseButton = "Choose";
}  // namespace panelTexts

}  // namespace veltrop::app
