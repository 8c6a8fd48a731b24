#pragma once
// Small JPEG copies of the pictures a batch stamps, made from the rendered
// bitmap before the copy is encoded, so that a contact sheet need not read
// and decode every copy again.

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "kit/platform/pdf_document.h"
#include "kit/image/bitmap.h"

namespace veltrop::exporting {

class KeptThumbnails {
public:
    KeptThumbnails(int maxPixelSize, int jpegQuality) : maxPixelSize_(maxPixelSize), jpegQuality_(jpegQuality) {}

    int maxPixelSize() const { return maxPixelSize_; }

    // Shrinks the upright, stamped picture of source and keeps it encoded.
    // Safe from several workers at once; a picture that cannot be shrunk is
    // simply not kept (the contact sheet then reads the copy).
    void keep(const std::filesystem::path& source, const image::Bitmap& rendered);

    // The kept picture of source, if any.
    std::optional<platform::PdfJpeg> find(const std::filesystem::path& source) const;

private:
    int maxPixelSize_;
    int jpegQuality_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, platform::PdfJpeg> pictures_;
};

}  // namespace veltrop::exporting
