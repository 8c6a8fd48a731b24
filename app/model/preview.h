#pragma once
// The preview of one photo, rendered exactly as the export would stamp it but
// from a small thumbnail, and the choice of photos for the batch preview.
// Functions on value copies: any thread may call them. The thumbnails are
// kept in a PreviewBaseCache, so a change of settings decodes nothing.

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/model/preview_base_cache.h"
#include "kit/records/discovered_photo.h"
#include "kit/records/photo_record.h"
#include "kit/image/bitmap.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::app {

inline constexpr int previewMaxPixelSize = 1600;

inline constexpr std::string_view noUsableDateText =
    "No usable date. Review dates to supply one, or export without a timestamp.";

// The rendered image, or why none could be made.
using PreviewOutcome = std::expected<image::Bitmap, std::string>;

struct PreviewInput {
    records::DiscoveredPhoto photo;
    settings::StampConfiguration configuration;
    std::optional<image::Bitmap> watermarkImage;
    // Built with the batch's corrections; without it, one is built without them.
    std::optional<records::PhotoRecord> record;
};

// Through PreviewBaseCache::shared().
[[nodiscard]] PreviewOutcome renderPreview(const PreviewInput& input);
[[nodiscard]] PreviewOutcome renderPreviewWith(PreviewBaseCache& bases, const PreviewInput& input);

// At most four photos: the selection, the first portrait, the first with a
// date change, the first with a note, then the batch in order. No duplicates.
// records[i] belongs to photos[i].
std::vector<records::DiscoveredPhoto> representativePhotos(const std::vector<records::DiscoveredPhoto>& photos,
                                                             const std::vector<records::PhotoRecord>& records,
                                                             const std::optional<std::filesystem::path>& selection);

}  // namespace veltrop::app
