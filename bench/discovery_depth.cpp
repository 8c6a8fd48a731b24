// Discovery in folders nested thousands deep: the time per level should stay
// flat as the depth grows (every folder is opened from its parent and its
// real path built from its parent's), where resolving each folder's whole
// path made it grow with the square of the depth, and the total with the cube.
// Usage: bench_discovery_depth [MAX_DEPTH]   (default 4000)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "kit/export/photo_discovery.h"

using namespace veltrop;
namespace fs = std::filesystem;

namespace {

// A chain of `depth` folders named "d" below top, with a photo at the bottom;
// made through handles because its path outgrows the system's limit.
void makeChain(const fs::path& top, int depth) {
    int folder = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
    for (int level = 0; level < depth; ++level) {
        ::mkdirat(folder, "d", 0755);
        const int next = ::openat(folder, "d", O_RDONLY | O_DIRECTORY);
        ::close(folder);
        folder = next;
    }
    ::close(::openat(folder, "p.jpg", O_WRONLY | O_CREAT, 0644));
    ::close(folder);
}

void removeChain(int folder, int levelsLeft) {
    if (levelsLeft > 0) removeChain(::openat(folder, "d", O_RDONLY | O_DIRECTORY), levelsLeft - 1);
    ::unlinkat(folder, "p.jpg", 0);
    if (levelsLeft > 0) ::unlinkat(folder, "d", AT_REMOVEDIR);
    ::close(folder);
}

}  // namespace

int main(int argc, char** argv) {
    const int maximum = argc > 1 ? std::atoi(argv[1]) : 4000;
    std::string pattern = (fs::temp_directory_path() / "veltrop-depth-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path top = pattern;
    std::printf("%8s %12s %16s\n", "depth", "seconds", "microseconds/level");
    for (int depth = 250; depth <= maximum; depth *= 2) {
        const fs::path site = top / std::to_string(depth);
        fs::create_directory(site);
        makeChain(site, depth);
        double best = 1e9;
        std::size_t found = 0;
        for (int round = 0; round < 3; ++round) {
            const auto start = std::chrono::steady_clock::now();
            // An excluded folder makes every folder's key count too.
            found = exporting::PhotoDiscovery::discoverFiles({site}, true, {}).size();
            best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        std::printf("%8d %12.4f %16.2f%s\n", depth, best, best * 1e6 / depth, found == 1 ? "" : "  (photo not found)");
        removeChain(::open(site.c_str(), O_RDONLY | O_DIRECTORY), depth);
        fs::remove(site);
    }
    fs::remove_all(top);
    return 0;
}
