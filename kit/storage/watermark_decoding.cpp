// Kept apart from the store so that the store itself depends only on a decoding function.
#include "kit/export/image_loader.h"
#include "kit/storage/watermark_store.h"

namespace veltrop::storage {

std::optional<render::Bitmap> decodeWithImageLoader(const std::filesystem::path& file) {
    auto loaded = exporting::ImageLoader::load(file);
    if (!loaded) return std::nullopt;
    return std::move(loaded->image);
}

}  // namespace veltrop::storage
