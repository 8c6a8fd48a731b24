#include "bench_support.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "kit/settings/uuid.h"

namespace veltrop::bench {

namespace fs = std::filesystem;

namespace {

double clockSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace

double threadSeconds() { return clockSeconds(CLOCK_THREAD_CPUTIME_ID); }
double processSeconds() { return clockSeconds(CLOCK_PROCESS_CPUTIME_ID); }
double wallSeconds() { return clockSeconds(CLOCK_MONOTONIC); }

double best(int rounds, const std::function<bool()>& work, double (*clock)()) {
    double fastest = 1e30;
    for (int i = 0; i < rounds; ++i) {
        const double start = clock();
        if (!work()) return -1;
        fastest = std::min(fastest, clock() - start);
    }
    return fastest;
}

fs::path photoFolder(int argc, char** argv) {
    const char* corpus = std::getenv("VELTROP_CORPUS");
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : corpus ? fs::path(corpus) : fs::path();
    if (folder.empty() || !fs::is_directory(folder)) {
        std::fprintf(stderr, "usage: %s FOLDER (or set VELTROP_CORPUS)\n", argc > 0 ? argv[0] : "bench");
        return {};
    }
    return folder;
}

Scratch::Scratch() : path_(fs::temp_directory_path() / ("veltrop-bench-" + settings::Uuid::random().text())) {
    fs::create_directories(path_);
}

Scratch::~Scratch() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

long childPeakKilobytes(const std::function<bool()>& work) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) _exit(work() ? 0 : 1);
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return usage.ru_maxrss;
}

double childWallSeconds(const std::function<bool()>& work) {
    std::fflush(nullptr);
    const double start = wallSeconds();
    const pid_t child = fork();
    if (child == 0) _exit(work() ? 0 : 1);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return wallSeconds() - start;
}

void row(const char* what, double value, const char* unit, double target) {
    std::printf("%-66s %9.3f %-3s target <= %.3g%s\n", what, value, unit, target, value <= target ? "" : "  (missed)");
    std::fflush(stdout);
}

bool hasProgram(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace veltrop::bench
