#include "kit/export/kept_thumbnails.h"

#include "kit/render/downscale.h"

namespace veltrop::exporting {

void KeptThumbnails::keep(const std::filesystem::path& source, const image::Bitmap& rendered) {
    const render::FittedSize fit = render::fittedSize(rendered.width, rendered.height, maxPixelSize_);
    std::optional<platform::PdfJpeg> picture;
    {
        // The small bitmap lives only until it is encoded.
        const image::Bitmap small = render::quicklyDownscaled(rendered, fit.width, fit.height);
        if (small.empty()) return;
        picture = platform::PdfJpeg::encode(small, jpegQuality_);
    }
    if (!picture) return;
    std::lock_guard lock(mutex_);
    pictures_.insert_or_assign(source.native(), std::move(*picture));
}

std::optional<platform::PdfJpeg> KeptThumbnails::find(const std::filesystem::path& source) const {
    std::lock_guard lock(mutex_);
    const auto found = pictures_.find(source.native());
    if (found == pictures_.end()) return std::nullopt;
    return found->second;
}

}  // namespace veltrop::exporting
