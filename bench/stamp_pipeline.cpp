// What a stamp costs next to the bare codec, per photo:
//   (a) codec alone: libjpeg-turbo decode + encode at quality 0.95
//   (b) full stamp: load with metadata, render the default overlay, write with metadata
//   (c) 1600-pixel preview: thumbnail + render
// Usage: bench_stamp_pipeline [FOLDER]   (default: $VELTROP_CORPUS)
// Times are the best of several rounds of thread CPU time, so that other load
// on the machine disturbs them little. The memory line forks one full stamp of
// the largest photo and compares its peak resident size with one full bitmap.
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "kit/platform/jpeg_codec.h"
#include "kit/render/renderer.h"
#include "kit/settings/uuid.h"

using namespace veltrop;
namespace fs = std::filesystem;

namespace {

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double best(int rounds, const std::function<bool()>& work) {
    double fastest = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const double start = cpuSeconds();
        if (!work()) return -1;
        fastest = std::min(fastest, cpuSeconds() - start);
    }
    return fastest;
}

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

bool fullStamp(const fs::path& file, const fs::path& folder) {
    auto loaded = exporting::ImageLoader::load(file);
    if (!loaded) return false;
    auto rendered = render::Renderer::render(defaultRequest(std::move(loaded->image), loaded->orientation));
    if (!rendered) return false;
    const fs::path destination = folder / (settings::Uuid::random().text() + ".jpg");
    const bool ok = exporting::ImageWriter::write(*rendered, destination, loaded->metadata, {0.95, false}).has_value();
    fs::remove(destination);
    return ok;
}

bool preview(const fs::path& file) {
    auto thumbnail = exporting::ImageLoader::loadThumbnail(file, 1600, exporting::ThumbnailOrientation::asStored);
    if (!thumbnail) return false;
    return render::Renderer::render(defaultRequest(std::move(thumbnail->image), thumbnail->orientation)).has_value();
}

long peakKilobytesOfOneStamp(const fs::path& file, const fs::path& folder) {
    const pid_t child = fork();
    if (child == 0) _exit(fullStamp(file, folder) ? 0 : 1);
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || status != 0) return -1;
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const char* corpus = std::getenv("VELTROP_CORPUS");
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : corpus ? fs::path(corpus) : fs::path();
    if (folder.empty() || !fs::is_directory(folder)) {
        std::fprintf(stderr, "usage: %s FOLDER (or set VELTROP_CORPUS)\n", argv[0]);
        return 2;
    }
    const fs::path scratch = fs::temp_directory_path() / ("veltrop-bench-" + settings::Uuid::random().text());
    fs::create_directories(scratch);
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
        const long peak = peakKilobytesOfOneStamp(largest.file, scratch);
        const double bitmapKilobytes = largest.pixels * 4 / 1024;
        std::printf("one full stamp of %s: peak %.0f MB resident, %.2f full-size bitmaps (target at most 2 "
                    "plus the program itself)\n",
                    largest.file.filename().c_str(), static_cast<double>(peak) / 1024,
                    static_cast<double>(peak) / bitmapKilobytes);
    }
    fs::remove_all(scratch);
    return 0;
}
