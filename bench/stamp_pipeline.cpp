// What a stamp costs next to the bare codec, per photo:
//   (a) codec alone: libjpeg-turbo decode + encode at quality 0.95
//   (b) full stamp: load with metadata, render the default overlay, write with metadata
//   (c) 1600-pixel preview: thumbnail + render
//   (d) each photo turned (EXIF orientation 6, written by exiftool) against
//       the same photo upright, both stamped one step after the other
//   (e) wall time of stamping one photo with a core to spare, in a process
//       of its own, against `djpeg | cjpeg` (two processes, so decoding and
//       encoding overlap)
// Usage: bench_stamp_pipeline [FOLDER]   (default: $VELTROP_CORPUS)
// Times are the best of several rounds of thread CPU time, so that other load
// on the machine disturbs them little; wall times are the best of more rounds
// for the same reason. The memory line forks one full stamp of the largest
// photo and compares its peak resident size with one full bitmap.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "kit/export/photo_discovery.h"
#include "kit/platform/jpeg_codec.h"
#include "kit/render/renderer.h"
#include "kit/settings/uuid.h"

using namespace veltrop;
namespace fs = std::filesystem;
using bench::best;

namespace {

bool codecAlone(const fs::path& file) {
    auto decoded = platform::decodeJpeg(file, {0, exporting::ImageLoader::maximumPixelCount()});
    if (!decoded) return false;
    std::FILE* sink = std::fopen("/dev/null", "wb");
    const bool ok = platform::encodeJpeg(decoded->bitmap, exporting::ImageWriter::encoderQuality(0.95), {}, sink);
    std::fclose(sink);
    return ok;
}

render::RenderRequest defaultRequest(image::Bitmap image, image::Orientation orientation) {
    render::RenderRequest request;
    request.image = std::move(image);
    request.orientation = orientation;
    request.timestamp = settings::format(settings::sampleDate(), settings::defaultFormat().pattern);
    return request;
}

// Renders the default overlay on a loaded photo and writes it with its metadata.
bool stampLoaded(std::expected<exporting::LoadedImage, exporting::ImageLoadError> loaded, const fs::path& folder) {
    if (!loaded) return false;
    auto rendered = render::Renderer::render(defaultRequest(std::move(loaded->image), loaded->orientation));
    if (!rendered) return false;
    const fs::path destination = folder / (settings::Uuid::random().text() + ".jpg");
    const bool ok = exporting::ImageWriter::write(*rendered, destination, loaded->metadata, {0.95, false}).has_value();
    fs::remove(destination);
    return ok;
}

bool fullStamp(const fs::path& file, const fs::path& folder) {
    return stampLoaded(exporting::ImageLoader::loadUpright(file, {}), folder);
}

// The same with the stored pixels turned after decoding, into a second bitmap.
bool turnedAfterDecoding(const fs::path& file, const fs::path& folder) {
    return stampLoaded(exporting::ImageLoader::load(file), folder);
}

bool preview(const fs::path& file) {
    auto thumbnail = exporting::ImageLoader::loadThumbnail(file, 1600, exporting::ThumbnailOrientation::asStored);
    if (!thumbnail) return false;
    return render::Renderer::render(defaultRequest(std::move(thumbnail->image), thumbnail->orientation)).has_value();
}

const settings::StampConfiguration& stampConfiguration() {
    static const settings::StampConfiguration configuration = [] {
        settings::StampConfiguration c;
        c.project.reset();
        return c;
    }();
    return configuration;
}

// The export's plan for one photo, made once outside the timing.
exporting::StampPlan stampPlan(const fs::path& file, const fs::path& folder) {
    const auto photos = exporting::PhotoDiscovery::makePhotos({file}, {file});
    exporting::StampPlan plan{photos.front(), std::nullopt, folder / (settings::Uuid::random().text() + ".jpg"),
                              std::nullopt, records::makeRecord(photos.front(), 0, stampConfiguration(), {}, std::nullopt)};
    plan.date = dates::CaptureDate{2026, 8, 14, 6, 17, 49, dates::CaptureDateSource::dateTimeOriginal};
    return plan;
}

// The export's own step for one photo, overlapping decoding and encoding or not.
bool stampStep(const exporting::StampPlan& plan, exporting::Overlap overlap) {
    static const std::optional<image::Bitmap> noLogo;
    exporting::StampJob job{stampConfiguration(), noLogo};
    job.overlap = overlap;
    const bool ok = exporting::stampPhoto(plan, job).kind == exporting::FileOutcome::Kind::stamped;
    fs::remove(*plan.destination);
    return ok;
}

// A copy of the photo carrying the EXIF orientation, written by exiftool.
std::optional<fs::path> turnedCopy(const fs::path& file, int orientation, const fs::path& folder) {
    const fs::path copy = folder / ("turned-" + std::to_string(orientation) + "-" + file.filename().string());
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    const std::string command = "exiftool -q -q -overwrite_original -Orientation#=" + std::to_string(orientation) +
                                " '" + copy.string() + "'";
    if (std::system(command.c_str()) != 0) return std::nullopt;
    return copy;
}

bool djpegToCjpeg(const fs::path& file) {
    const std::string command = "djpeg '" + file.string() + "' | cjpeg -quality 95 > /dev/null";
    return std::system(command.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path folder = bench::photoFolder(argc, argv);
    if (folder.empty()) return 2;
    const bench::Scratch scratchFolder;
    const fs::path& scratch = scratchFolder.path();
    exporting::ImageLoader::prepare();
    struct Photo {
        fs::path file;
        double pixels;
        image::Orientation orientation;
    };
    std::vector<Photo> photos;
    for (const auto& entry : fs::directory_iterator(folder)) {
        auto info = exporting::ImageLoader::readInfo(entry.path());
        if (!info || info->pixelSize.width * info->pixelSize.height < 4e6) continue;  // large photos only
        if (!platform::readJpegHeader(entry.path())) continue;                        // JPEG only: the codec baseline
        if (!codecAlone(entry.path())) continue;                                       // skip undecodable files
        photos.push_back({entry.path(), info->pixelSize.width * info->pixelSize.height, info->orientation});
    }
    std::sort(photos.begin(), photos.end(), [](const Photo& a, const Photo& b) { return a.file < b.file; });
    (void)preview(photos.empty() ? fs::path() : photos.front().file);  // fonts load once per thread

    std::printf("%-34s %6s %4s %9s %9s %9s %7s %7s\n", "photo", "MP", "or.", "codec ms", "stamp ms", "prev ms",
                "b/a", "c/a");
    double worstUpright = 0, worstRotated = 0, worstPreview = 0;
    for (const auto& photo : photos) {
        const double a = best(3, [&] { return codecAlone(photo.file); });
        const double b = best(3, [&] { return fullStamp(photo.file, scratch); });
        const double c = best(3, [&] { return preview(photo.file); });
        if (a <= 0 || b < 0 || c < 0) continue;
        std::printf("%-34.34s %6.1f %4d %9.1f %9.1f %9.1f %7.2f %7.2f\n", photo.file.filename().c_str(),
                    photo.pixels / 1e6, photo.orientation, a * 1e3, b * 1e3, c * 1e3, b / a, c / a);
        (photo.orientation == 1 ? worstUpright : worstRotated) =
            std::max(photo.orientation == 1 ? worstUpright : worstRotated, b / a);
        worstPreview = std::max(worstPreview, c / a);
    }
    std::printf("\nworst stamp/codec upright %.2f (target 1.2), rotated %.2f (target 1.5); "
                "worst preview/codec %.2f (target 0.25)\n",
                worstUpright, worstRotated, worstPreview);

    if (!photos.empty()) {
        const auto largest = *std::max_element(photos.begin(), photos.end(),
                                               [](const Photo& x, const Photo& y) { return x.pixels < y.pixels; });
        const long peak = bench::childPeakKilobytes([&] { return fullStamp(largest.file, scratch); });
        const double bitmapKilobytes = largest.pixels * 4 / 1024;
        std::printf("one full stamp of %s: peak %.0f MB resident, %.2f full-size bitmaps (target at most 2 "
                    "plus the program itself)\n",
                    largest.file.filename().c_str(), static_cast<double>(peak) / 1024,
                    static_cast<double>(peak) / bitmapKilobytes);
    }

    // (d) the same photo upright and turned, stamped one step after the other
    if (bench::hasProgram("exiftool")) {
        double worst = 0;
        for (const auto& photo : photos) {
            const auto upright = turnedCopy(photo.file, 1, scratch);
            const auto turned = turnedCopy(photo.file, 6, scratch);
            if (!upright || !turned) continue;
            const auto uprightPlan = stampPlan(*upright, scratch), turnedPlan = stampPlan(*turned, scratch);
            const double u = best(5, [&] { return stampStep(uprightPlan, exporting::Overlap::never); });
            const double t = best(5, [&] { return stampStep(turnedPlan, exporting::Overlap::never); });
            const double before = best(5, [&] { return turnedAfterDecoding(*turned, scratch); });
            const double beforeUpright = best(5, [&] { return turnedAfterDecoding(*upright, scratch); });
            if (u <= 0 || t <= 0 || before <= 0 || beforeUpright <= 0) continue;
            std::printf("%-34.34s upright %7.1f ms, turned (6) %7.1f ms, %.3f x (turned after decoding: %.3f x)\n",
                        photo.file.filename().c_str(), u * 1e3, t * 1e3, t / u, before / beforeUpright);
            worst = std::max(worst, t / u);
        }
        bench::row("rotated JPEG stamp CPU / upright stamp CPU (worst photo)", worst, "x", 1.05);
    } else {
        std::printf("(exiftool not found: no turned copies)\n");
    }

    // (e) one photo's wall time with a core to spare, against djpeg | cjpeg
    if (bench::hasProgram("djpeg") && bench::hasProgram("cjpeg")) {
        double worst = 0;
        for (const auto& photo : photos) {
            if (photo.orientation != 1) continue;
            const auto plan = stampPlan(photo.file, scratch);
            // Each run in a process of its own, as djpeg and cjpeg are.
            const auto inChild = [&](exporting::Overlap overlap) {
                double fastest = 1e30;
                for (int i = 0; i < 7; ++i) {
                    const double seconds = bench::childWallSeconds([&] { return stampStep(plan, overlap); });
                    if (seconds < 0) return -1.0;
                    fastest = std::min(fastest, seconds);
                }
                return fastest;
            };
            const double pipe = best(7, [&] { return djpegToCjpeg(photo.file); }, bench::wallSeconds);
            const double overlapped = inChild(exporting::Overlap::always);
            const double serial = inChild(exporting::Overlap::never);
            if (pipe <= 0 || overlapped <= 0 || serial <= 0) continue;
            std::printf("%-34.34s djpeg|cjpeg %7.1f ms, stamp %7.1f ms (%7.1f ms one step after the other), %.3f x\n",
                        photo.file.filename().c_str(), pipe * 1e3, overlapped * 1e3, serial * 1e3, overlapped / pipe);
            worst = std::max(worst, overlapped / pipe);
        }
        bench::row("one photo, wall time / djpeg | cjpeg wall time (worst photo)", worst, "x", 1.2);
    } else {
        std::printf("(djpeg and cjpeg not found: no wall-time comparison)\n");
    }
    return 0;
}
