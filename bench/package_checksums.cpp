// What a package's checksums cost next to the export they cover:
//   (a) plain export: the batch stamps every photo into a folder
//   (b) the same with checksums: each copy and its original hashed by the
//       worker right after the copy is written, then Sources.sha256 and
//       Checksums.sha256 written over the folder
// Target: (b) at most 1.1 × (a) in CPU time.
// Usage: bench_package_checksums [FOLDER]   (default: $VELTROP_CORPUS)
// Times are process CPU time (all worker threads), the best of several rounds.
#include <time.h>

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
#include "kit/handover/package_checksums.h"
#include "kit/platform/jpeg_codec.h"
#include "kit/platform/sha256.h"
#include "kit/settings/uuid.h"

using namespace veltrop;
namespace fs = std::filesystem;

namespace {

double best(int rounds, const std::function<bool()>& work) { return bench::best(rounds, work, bench::processSeconds); }

// MB/s of a block function over 64 MB held in memory.
double throughput(const std::function<platform::Sha256Digest(std::string_view)>& hash) {
    const std::string bytes(64 << 20, 'v');
    const double seconds = best(3, [&] {
        (void)hash(bytes);
        return true;
    });
    return 64.0 / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path folder = bench::photoFolder(argc, argv);
    if (folder.empty()) return 2;
    exporting::ImageLoader::prepare();

    // Photos of 4 MP and more that decode: the size field photos have.
    std::vector<fs::path> files;
    std::uintmax_t sourceBytes = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        auto info = exporting::ImageLoader::readInfo(entry.path());
        if (!info || info->pixelSize.width * info->pixelSize.height < 4e6) continue;
        if (!platform::readJpegHeader(entry.path()) || !exporting::ImageLoader::load(entry.path())) continue;
        files.push_back(entry.path());
        sourceBytes += fs::file_size(entry.path());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no JPEG photos of 4 MP or more in %s\n", folder.c_str());
        return 2;
    }
    const auto photos = exporting::PhotoDiscovery::makePhotos(files, {folder});

    const bench::Scratch scratchFolder;
    const fs::path& scratch = scratchFolder.path();
    settings::StampConfiguration configuration = settings::defaultConfiguration();
    int run = 0;
    std::uintmax_t copyBytes = 0;

    auto plain = [&] {
        configuration.outputRoot = scratch / ("plain-" + std::to_string(run++));
        exporting::BatchProcessor processor(2);
        const auto summary = processor.run(photos, configuration, std::nullopt, {}, std::nullopt);
        return summary.count(exporting::FileOutcome::Kind::stamped) == photos.size();
    };
    auto withChecksums = [&] {
        const fs::path package = scratch / ("package-" + std::to_string(run++));
        configuration.outputRoot = package;
        auto digests = std::make_shared<handover::PackageDigests>();
        auto processor = handover::hashingProcessor(exporting::BatchProcessor(2), digests);
        const auto summary = processor->run(photos, configuration, std::nullopt, {}, std::nullopt);
        if (summary.count(exporting::FileOutcome::Kind::stamped) != photos.size()) return false;
        copyBytes = 0;
        for (const auto& result : summary.results) copyBytes += fs::file_size(result.outcome.destination);
        return handover::writeChecksums(summary, package, digests.get()).empty();
    };

    (void)plain();  // fonts and codecs load once
    double a = 1e30, b = 1e30;
    for (int round = 0; round < 3; ++round) {  // interleaved, so that drifting load hits both alike
        a = std::min(a, best(1, plain));
        b = std::min(b, best(1, withChecksums));
    }
    if (a <= 0 || b <= 0) {
        std::fprintf(stderr, "an export failed\n");
        return 1;
    }

    const double hashedMegabytes = static_cast<double>(sourceBytes + copyBytes) / 1e6;
    const double portable = throughput(platform::detail::portableSha256);
    const double chosen = throughput([](std::string_view bytes) { return platform::sha256(bytes); });
    std::printf("%zu photos, %.1f MB of originals and %.1f MB of copies hashed\n", photos.size(),
                static_cast<double>(sourceBytes) / 1e6, static_cast<double>(copyBytes) / 1e6);
    std::printf("plain export            %8.1f ms CPU\n", a * 1e3);
    std::printf("export with checksums   %8.1f ms CPU   ratio %.3f (target at most 1.10)\n", b * 1e3, b / a);
    std::printf("SHA-256 %s: %.0f MB/s; portable code: %.0f MB/s\n",
                platform::detail::hasShaInstructions() ? "with the processor's SHA instructions" : "portable", chosen,
                portable);
    std::printf("on a processor without SHA instructions the ratio would be about %.3f\n",
                (a + hashedMegabytes / portable) / a + (b - a - hashedMegabytes / chosen) / a);
    return b / a <= 1.10 ? 0 : 1;
}
