#include "kit/export/lossless_stamp.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "kit/platform/copy_segments.h"
#include "kit/platform/jpeg_codec.h"
#include "kit/platform/jpeg_lossless.h"

namespace veltrop::exporting {

namespace {

using platform::LosslessRefusal;
using image::PixelRect;

LosslessSkip notApplicable(std::string reason) { return {LosslessSkip::Kind::notApplicable, std::move(reason), {}}; }
LosslessSkip failed(ExportFailure why) { return {LosslessSkip::Kind::failed, {}, std::move(why)}; }

std::string refusalText(LosslessRefusal refusal) {
    switch (refusal) {
        case LosslessRefusal::notJpeg: return "Only JPEG photos keep their original quality";
        case LosslessRefusal::unreadable: return "The photo's JPEG data could not be kept as it is";
        case LosslessRefusal::colourSpace: return "Only colour photos stored in YCbCr keep their original quality";
        case LosslessRefusal::partialBlocks:
            return "Turning this photo upright would cut the blocks at its edges";
        case LosslessRefusal::partialStripRows:
            return "The photo's height is not whole blocks, so the strip cannot be added below it";
    }
    return "The photo's JPEG data could not be kept as it is";
}

bool overlaps(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

PixelRect bounds(const PixelRect& a, const PixelRect& b) {
    const int left = std::min(a.left, b.left), top = std::min(a.top, b.top);
    return {left, top, std::max(a.right(), b.right()) - left, std::max(a.bottom(), b.bottom()) - top};
}

}  // namespace

std::vector<PixelRect> mcuCover(const std::vector<PixelRect>& areas, int mcuWidth, int mcuHeight, int width,
                                int height) {
    std::vector<PixelRect> cover;
    for (const PixelRect& area : areas) {
        const int areaLeft = std::clamp(area.left, 0, width), areaRight = std::clamp(area.right(), 0, width);
        const int areaTop = std::clamp(area.top, 0, height), areaBottom = std::clamp(area.bottom(), 0, height);
        if (areaRight <= areaLeft || areaBottom <= areaTop) continue;
        const int left = areaLeft / mcuWidth * mcuWidth, top = areaTop / mcuHeight * mcuHeight;
        const int right = std::min(width, (areaRight + mcuWidth - 1) / mcuWidth * mcuWidth);
        const int bottom = std::min(height, (areaBottom + mcuHeight - 1) / mcuHeight * mcuHeight);
        cover.push_back({left, top, right - left, bottom - top});
    }
    // Join until stable: a joined rectangle may reach others it did not before.
    for (bool joined = true; joined;) {
        joined = false;
        for (std::size_t i = 0; i < cover.size() && !joined; ++i) {
            for (std::size_t j = i + 1; j < cover.size(); ++j) {
                if (!overlaps(cover[i], cover[j])) continue;
                cover[i] = bounds(cover[i], cover[j]);
                cover.erase(cover.begin() + static_cast<std::ptrdiff_t>(j));
                joined = true;
                break;
            }
        }
    }
    return cover;
}

render::RenderRequest renderRequest(const StampPlan& plan, const StampJob& job) {
    const settings::StampConfiguration& configuration = job.configuration;
    render::RenderRequest request;
    request.timestamp = timestampText(configuration, plan.date);
    request.style = configuration.style;
    request.strip = records::effectiveStrip(configuration, plan.record);
    request.recordText = records::stripLine(configuration, plan.record);
    request.exif = plan.photo.exif;
    request.watermark = configuration.watermark;
    request.watermarkImage = job.watermarkImage;
    request.timestampEnabled = configuration.timestampEnabled;
    return request;
}

std::expected<LosslessCopy, LosslessSkip> stampLosslessly(const StampPlan& plan, const StampJob& job) {
    const std::filesystem::path& file = plan.photo.url;
    if (!plan.destination) return std::unexpected(failed(ImageWriteError{ImageWriteError::Kind::writeFailed, file.filename(), {}}));
    auto info = ImageLoader::readInfo(file);
    if (!info) return std::unexpected(failed(info.error()));
    auto header = platform::readJpegHeader(file);
    if (!header) return std::unexpected(notApplicable(refusalText(LosslessRefusal::notJpeg)));

    render::RenderRequest request = renderRequest(plan, job);
    request.orientation = info->orientation;
    auto jpeg = platform::LosslessJpeg::open(file, info->orientation, ImageLoader::maximumPixelCount());
    if (!jpeg) return std::unexpected(notApplicable(refusalText(jpeg.error())));

    const auto drawing = render::Renderer::plan(request, jpeg->storedWidth(), jpeg->storedHeight());
    if (!drawing) return std::unexpected(failed(drawing.error()));
    if (drawing->width != jpeg->width() || drawing->photoHeight != jpeg->height())
        return std::unexpected(notApplicable(refusalText(LosslessRefusal::unreadable)));
    if (auto read = jpeg->readCoefficients(drawing->height - drawing->photoHeight); !read)
        return std::unexpected(notApplicable(refusalText(read.error())));

    LosslessCopy copy;
    copy.reencoded = mcuCover(drawing->areas, jpeg->mcuWidth(), jpeg->mcuHeight(), drawing->width, drawing->height);
    for (const PixelRect& area : copy.reencoded) {
        auto window = image::Bitmap::allocate(area.width, area.height);
        if (!window) return std::unexpected(failed(render::RenderError::contextCreationFailed()));
        // The photo's own pixels where it has them; the strip's band below is drawn over whole.
        const int photoRows = std::clamp(drawing->photoHeight - area.top, 0, area.height);
        if (photoRows > 0) {
            auto pixels = jpeg->decode({area.left, area.top, area.width, photoRows});
            if (!pixels) return std::unexpected(notApplicable(refusalText(pixels.error())));
            for (int y = 0; y < photoRows; ++y)
                std::memcpy(window->row(y), pixels->row(y), static_cast<std::size_t>(area.width) * 4);
        }
        for (int y = photoRows; y < area.height; ++y) {
            std::uint8_t* row = window->row(y);
            for (int x = 0; x < area.width; ++x, row += 4) row[0] = row[1] = row[2] = 0, row[3] = 255;
        }
        auto drawn = render::Renderer::renderWindow(request, jpeg->storedWidth(), jpeg->storedHeight(), *window,
                                                    area.left, area.top);
        if (!drawn) return std::unexpected(failed(drawn.error()));
        if (!jpeg->replace(area, *window))
            return std::unexpected(notApplicable(refusalText(LosslessRefusal::unreadable)));
    }

    const auto segments = platform::segmentsForCopy(
        header->metadata, {drawing->width, drawing->height, job.configuration.removeGPS, plan.copyDate});
    auto written = ImageWriter::writeEncoded(*plan.destination,
                                             [&](std::FILE* out) { return jpeg->write(segments, out); });
    if (!written) return std::unexpected(failed(written.error()));
    return copy;
}

}  // namespace veltrop::exporting
