#include "app/model/preview_base_cache.h"

#include <algorithm>
#include <utility>

#include "app/model/preview.h"

namespace veltrop::app {

namespace fs = std::filesystem;

namespace {

std::size_t bytesOf(const image::Bitmap& bitmap) {
    return bitmap.stride * static_cast<std::size_t>(std::max(bitmap.height, 0));
}

}  // namespace

PreviewBaseCache::Decoder PreviewBaseCache::thumbnailDecoder(int maxPixelSize) {
    return [maxPixelSize](const fs::path& file) -> std::expected<image::Bitmap, exporting::ImageLoadError> {
        auto thumbnail =
            exporting::ImageLoader::loadThumbnail(file, maxPixelSize, exporting::ThumbnailOrientation::upright);
        if (!thumbnail) return std::unexpected(thumbnail.error());
        return std::move(thumbnail->image);
    };
}

PreviewBaseCache::PreviewBaseCache(Limits limits, Decoder decoder)
    : limits_(limits), decoder_(std::move(decoder)) {}

std::expected<image::Bitmap, exporting::ImageLoadError> PreviewBaseCache::base(const fs::path& file) {
    // Asked before decoding: a file changed meanwhile is kept under its old
    // version and so decoded again next time, never shown stale.
    const auto version = platform::fileVersion(file);
    if (!version) return std::unexpected(exporting::ImageLoadError{exporting::ImageLoadError::Kind::unreadable, file});
    {
        std::lock_guard lock(mutex_);
        for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
            if (entry->file != file) continue;
            if (entry->version != *version) {  // never shown again
                bytes_ -= bytesOf(entry->base);
                entries_.erase(entry);
                break;
            }
            entries_.splice(entries_.begin(), entries_, entry);
            return entries_.front().base;
        }
    }
    auto decoded = decoder_(file);
    if (!decoded) return decoded;
    std::lock_guard lock(mutex_);
    keep(Entry{file, *version, *decoded});
    return decoded;
}

void PreviewBaseCache::keep(Entry entry) {
    for (auto old = entries_.begin(); old != entries_.end(); ++old) {
        if (old->file != entry.file) continue;
        bytes_ -= bytesOf(old->base);
        entries_.erase(old);
        break;
    }
    const std::size_t size = bytesOf(entry.base);
    if (size > limits_.bytes || limits_.entries == 0) return;
    while (!entries_.empty() && (entries_.size() + 1 > limits_.entries || bytes_ + size > limits_.bytes)) {
        bytes_ -= bytesOf(entries_.back().base);
        entries_.pop_back();
    }
    bytes_ += size;
    entries_.push_front(std::move(entry));
}

PreviewBaseCache& PreviewBaseCache::shared() {
    static PreviewBaseCache cache({}, thumbnailDecoder(previewMaxPixelSize));
    return cache;
}

std::size_t PreviewBaseCache::entryCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

std::size_t PreviewBaseCache::byteCount() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

}  // namespace veltrop::app
