// What keeping the original's blocks costs, per photo over 10 MP:
//   (a) normal path: decode, render the default overlay, encode at 0.95, with metadata
//   (b) lossless path: the same stamp keeping every block outside it
//   (c) jpegtran -copy all (turned as the photo's orientation asks): the
//       floor of any path that keeps the blocks
// Usage: bench_lossless_stamp [FOLDER]   (default: $VELTROP_CORPUS)
// Times are the best of several rounds of CPU time: the process's for (a)
// and (b) (the normal path may encode on a second thread), the child's for (c). Targets: b ≤ a and b ≤ 1.3 × c.
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

#include "bench_support.h"
#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/photo_discovery.h"
#include "kit/platform/jpeg_codec.h"
#include "kit/settings/uuid.h"

using namespace veltrop;
namespace fs = std::filesystem;

namespace {

using bench::processSeconds;

double best(int rounds, const std::function<double()>& work) {
    double fastest = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const double seconds = work();
        if (seconds < 0) return -1;
        fastest = std::min(fastest, seconds);
    }
    return fastest;
}

const char* jpegtranTurn(int orientation) {
    switch (orientation) {
        case 2: return "-flip horizontal";
        case 3: return "-rotate 180";
        case 4: return "-flip vertical";
        case 5: return "-transpose";
        case 6: return "-rotate 90";
        case 7: return "-transverse";
        case 8: return "-rotate 270";
        default: return nullptr;
    }
}

// CPU time of one jpegtran run writing to /dev/null.
double jpegtran(const fs::path& file, int orientation) {
    const pid_t child = fork();
    if (child == 0) {
        std::vector<std::string> arguments{"jpegtran", "-copy", "all"};
        if (const char* turn = jpegtranTurn(orientation)) {
            const std::string text = turn;
            arguments.push_back(text.substr(0, text.find(' ')));
            arguments.push_back(text.substr(text.find(' ') + 1));
        }
        arguments.push_back("-outfile");
        arguments.push_back("/dev/null");
        arguments.push_back(file.string());
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        execvp("jpegtran", argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Outcome {
    double seconds = -1;
    bool lossless = false;
    std::string fallback;
};

Outcome stamp(const records::DiscoveredPhoto& photo, bool keepQuality, const fs::path& folder) {
    settings::StampConfiguration configuration;
    configuration.project.reset();
    configuration.keepOriginalQuality = keepQuality;
    const fs::path destination = folder / (settings::Uuid::random().text() + ".jpg");
    exporting::StampPlan plan{photo, std::nullopt, destination, std::nullopt,
                              records::makeRecord(photo, 0, configuration, {}, std::nullopt)};
    plan.date = plan.record.resolvedDate.value_or(settings::sampleDate());
    const std::optional<image::Bitmap> noLogo;
    const double start = processSeconds();
    const auto outcome = exporting::stampPhoto(plan, {configuration, noLogo});
    const double seconds = processSeconds() - start;
    fs::remove(destination);
    if (outcome.kind != exporting::FileOutcome::Kind::stamped) return {};
    return {seconds, outcome.lossless, outcome.losslessFallback};
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path folder = bench::photoFolder(argc, argv);
    if (folder.empty()) return 2;
    if (std::system("command -v jpegtran >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "jpegtran is needed (libjpeg-turbo-progs)\n");
        return 2;
    }
    const bench::Scratch scratchFolder;
    const fs::path& scratch = scratchFolder.path();
    exporting::ImageLoader::prepare();

    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        auto info = exporting::ImageLoader::readInfo(entry.path());
        if (!info || info->pixelSize.width * info->pixelSize.height < 10e6) continue;  // over 10 MP
        if (!platform::readJpegHeader(entry.path())) continue;                         // JPEG only
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    const auto photos = exporting::PhotoDiscovery::makePhotos(files, files);

    std::printf("%-30s %5s %4s %10s %10s %10s %6s %6s  %s\n", "photo", "MP", "or.", "normal ms", "keep ms",
                "jpegtran ms", "b/a", "b/c", "path");
    double worstNormal = 0, worstFloor = 0;
    for (const auto& photo : photos) {
        const auto info = exporting::ImageLoader::readInfo(photo.url);
        const int orientation = info ? info->orientation : 1;
        (void)stamp(photo, false, scratch);  // fonts load once per thread
        const double a = best(3, [&] { return stamp(photo, false, scratch).seconds; });
        Outcome kept;
        const double b = best(3, [&] {
            kept = stamp(photo, true, scratch);
            return kept.seconds;
        });
        const double c = best(3, [&] { return jpegtran(photo.url, orientation); });
        if (a <= 0 || b <= 0 || c <= 0) {
            std::printf("%-30.30s failed\n", photo.url.filename().c_str());
            continue;
        }
        std::printf("%-30.30s %5.1f %4d %10.1f %10.1f %10.1f %6.2f %6.2f  %s\n", photo.url.filename().c_str(),
                    photo.pixelSize.width * photo.pixelSize.height / 1e6, orientation, a * 1e3, b * 1e3, c * 1e3,
                    b / a, b / c, kept.lossless ? "lossless" : ("normal: " + kept.fallback).c_str());
        if (kept.lossless) {
            worstNormal = std::max(worstNormal, b / a);
            worstFloor = std::max(worstFloor, b / c);
        }
    }
    std::printf("\nworst lossless/normal %.2f (target 1.0); worst lossless/jpegtran %.2f (target 1.3)\n", worstNormal,
                worstFloor);
    return 0;
}
