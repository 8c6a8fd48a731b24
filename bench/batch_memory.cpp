// Peak memory of a batch of large photos on four workers under different
// memory budgets: the budget, not the number of workers, bounds what the
// photos in progress hold, so a smaller budget runs fewer at once.
// Usage: bench_batch_memory [MEGAPIXELS] [PHOTOS]   (default 24 and 8)
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/memory_budget.h"
#include "kit/export/photo_discovery.h"
#include "kit/platform/jpeg_codec.h"

using namespace veltrop;
namespace fs = std::filesystem;

namespace {

long long statusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stoll(line.substr(line.find(':') + 1));
    return -1;
}

void writePhoto(const fs::path& file, int width, int height) {
    auto bitmap = image::Bitmap::allocate(width, height);
    if (!bitmap) std::exit(1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width * 4; ++x) bitmap->row(y)[x] = static_cast<std::uint8_t>((x ^ y) * 13);
    std::FILE* out = std::fopen(file.c_str(), "wb");
    platform::encodeJpeg(*bitmap, 85, {}, out);
    std::fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
    const double megapixels = argc > 1 ? std::atof(argv[1]) : 24;
    const int count = argc > 2 ? std::atoi(argv[2]) : 8;
    const int width = static_cast<int>(std::sqrt(megapixels * 1e6 * 4 / 3));
    const int height = width * 3 / 4;

    std::string pattern = (fs::temp_directory_path() / "veltrop-memory-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path top = pattern;
    for (int i = 0; i < count; ++i) writePhoto(top / ("p" + std::to_string(i) + ".jpg"), width, height);
    exporting::ImageLoader::prepare();
    const auto photos = exporting::PhotoDiscovery::makePhotos(exporting::PhotoDiscovery::discoverFiles({top}, true, {}),
                                                             {top});
    const std::uint64_t onePhoto = exporting::photoMemoryBytes({width, height, 0});
    std::printf("%d photos of %d x %d; one needs about %llu MB; default budget %llu MB\n", count, width, height,
                static_cast<unsigned long long>(onePhoto >> 20),
                static_cast<unsigned long long>(exporting::defaultBatchMemoryBytes() >> 20));
    std::printf("%14s %10s %14s %10s\n", "budget (MB)", "seconds", "peak (MB)", "stamped");

    for (const double photosAtOnce : {4.0, 2.5, 1.5}) {
        const auto budget = static_cast<std::uint64_t>(static_cast<double>(onePhoto) * photosAtOnce);
        int report[2];
        if (::pipe(report) != 0) return 1;
        const pid_t child = ::fork();
        if (child == 0) {
            std::ofstream("/proc/self/clear_refs") << "5";  // the peak counts from here
            const long long before = statusKilobytes("VmHWM:");
            exporting::BatchProcessor processor(4);
            processor.setMemoryBudget(budget);
            settings::StampConfiguration configuration;
            configuration.useFileDateFallback = true;
            configuration.outputRoot = top / ("out-" + std::to_string(budget));
            const auto start = std::chrono::steady_clock::now();
            const auto summary = processor.run(photos, configuration, std::nullopt, {}, std::nullopt);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const long long line[3] = {static_cast<long long>(seconds * 1000), (statusKilobytes("VmHWM:") - before) / 1024,
                                       static_cast<long long>(summary.count(exporting::FileOutcome::Kind::stamped))};
            (void)!::write(report[1], line, sizeof line);
            ::_exit(0);
        }
        ::close(report[1]);
        long long line[3] = {0, 0, 0};
        (void)!::read(report[0], line, sizeof line);
        ::close(report[0]);
        ::waitpid(child, nullptr, 0);
        std::printf("%14llu %10.2f %14lld %10lld\n", static_cast<unsigned long long>(budget >> 20),
                    static_cast<double>(line[0]) / 1000, line[1], line[2]);
    }
    fs::remove_all(top);
    return 0;
}
