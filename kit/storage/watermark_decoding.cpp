// Kept apart from the store so that the store itself depends only on a decoding function.
#include "kit/export/image_loader.h"
#include "kit/image/orientation.h"
#include "kit/storage/watermark_store.h"

namespace veltrop::storage {

std::optional<image::Bitmap> decodeWithImageLoader(const std::filesystem::path& file) {
    auto loaded = exporting::ImageLoader::load(file);
    if (!loaded) return std::nullopt;
    // The copy carries no orientation, so it keeps the picture as the user saw it.
    return image::oriented(loaded->image, loaded->orientation);
}

}  // namespace veltrop::storage
