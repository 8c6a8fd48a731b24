#pragma once
// The photos last shown in a preview, decoded once: each kept upright at
// display size, before any stamp, so that a change of settings only draws the
// stamp again. An entry is used only while its file is unchanged (same inode,
// size and times); a few are kept, the least recently used dropped first.
// Thread-safe; decoding runs on the calling thread, outside the lock.

#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <list>
#include <mutex>

#include "kit/export/image_loader.h"
#include "kit/image/bitmap.h"
#include "kit/platform/file_times.h"

namespace veltrop::app {

class PreviewBaseCache {
public:
    struct Limits {
        std::size_t entries = 6;               // the batch preview's four and the selection, and one to spare
        std::size_t bytes = 80 * 1024 * 1024;  // six 1600 × 1600 bases fit
        bool operator==(const Limits&) const = default;
    };

    // Decodes the upright base of one file.
    using Decoder =
        std::function<std::expected<image::Bitmap, exporting::ImageLoadError>(const std::filesystem::path&)>;

    // The preview's own decoder: upright, at most maxPixelSize on the longer side.
    static Decoder thumbnailDecoder(int maxPixelSize);

    PreviewBaseCache(Limits limits, Decoder decoder);

    // The upright base of the file, decoded only when none is kept for the
    // file as it is now. Its pixels are shared with the cache: draw on a copy
    // (the renderer copies pixels that someone else holds).
    [[nodiscard]] std::expected<image::Bitmap, exporting::ImageLoadError> base(const std::filesystem::path& file);

    std::size_t entryCount() const;
    std::size_t byteCount() const;

    // The one the application's previews share.
    static PreviewBaseCache& shared();

private:
    struct Entry {
        std::filesystem::path file;
        platform::FileVersion version;
        image::Bitmap base;
    };

    void keep(Entry entry);  // with the lock held

    Limits limits_;
    Decoder decoder_;
    mutable std::mutex mutex_;
    std::list<Entry> entries_;  // most recently used first
    std::size_t bytes_ = 0;
};

}  // namespace veltrop::app
