#pragma once
// A scripted walk through the windows that saves a PNG of each, on the
// offscreen platform, with a small batch copied from a photo folder.

#include <QString>

#include <filesystem>

namespace veltrop::app {

// Returns the process exit status: 0 when every picture was saved.
int runScreenshotTour(const std::filesystem::path& outputFolder, const std::filesystem::path& photoFolder);

}  // namespace veltrop::app
