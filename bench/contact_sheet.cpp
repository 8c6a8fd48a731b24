// Contact sheet build speed and size for a package of exported photos.
//
//   bench_contact_sheet            200 copies of 3000 × 2000 JPEGs made in a temporary folder
//   bench_contact_sheet FOLDER     the JPEGs in FOLDER, repeated up to 200 copies
//   bench_contact_sheet FOLDER OUT also keeps the contact sheet as the file OUT
//
// Prints thumbnails per second of the whole build (decode, scale, encode,
// lay out, write the PDF in memory) and PDF kilobytes per thumbnail.

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "kit/handover/contact_sheet.h"
#include "kit/platform/jpeg_codec.h"

namespace fs = std::filesystem;
using namespace veltrop;

namespace {

constexpr std::size_t copies = 200;

// Something a JPEG coder treats like a photograph: broad gradients, edges,
// texture at several scales and sensor noise.
bool writeSyntheticPhoto(const fs::path& file, int width, int height, unsigned seed) {
    auto bitmap = image::Bitmap::allocate(width, height);
    if (!bitmap) return false;
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.f, 4.f);
    std::uniform_real_distribution<float> phase(0.f, 6.28f);
    const float p1 = phase(random), p2 = phase(random), p3 = phase(random);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap->row(y);
        const float v = static_cast<float>(y) / height;
        for (int x = 0; x < width; ++x) {
            const float u = static_cast<float>(x) / width;
            const float sky = v < 0.4f + 0.08f * std::sin(u * 9 + p1) ? 1.f : 0.f;
            const float texture = 18 * std::sin(x * 0.031f + p2) * std::sin(y * 0.027f + p3) +
                                  10 * std::sin((x + 2 * y) * 0.11f) + 6 * std::sin((3 * x - y) * 0.37f);
            const float base = sky * (150 + 80 * v) + (1 - sky) * (70 + 60 * u + texture);
            const auto channel = [&](float tint) {
                return static_cast<std::uint8_t>(std::clamp(base * tint + noise(random), 0.f, 255.f));
            };
            row[4 * x + 0] = channel(sky > 0 ? 1.25f : 0.7f);
            row[4 * x + 1] = channel(sky > 0 ? 1.05f : 1.0f);
            row[4 * x + 2] = channel(sky > 0 ? 0.8f : 1.1f);
            row[4 * x + 3] = 255;
        }
    }
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = platform::encodeJpeg(*bitmap, 90, {}, out);
    return std::fclose(out) == 0 && written;
}

double cpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool isJpeg(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
    return extension == ".jpg" || extension == ".jpeg";
}

}  // namespace

int main(int argc, char** argv) {
    std::string pattern = (fs::temp_directory_path() / "veltrop-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return 1;
    const fs::path work = pattern;

    std::vector<fs::path> originals;
    if (argc > 1) {
        for (const auto& entry : fs::directory_iterator(argv[1]))
            if (entry.is_regular_file() && isJpeg(entry.path())) originals.push_back(entry.path());
        std::sort(originals.begin(), originals.end());
    } else {
        for (unsigned i = 0; i < 4; ++i) {
            const fs::path file = work / ("original-" + std::to_string(i) + ".jpg");
            if (!writeSyntheticPhoto(file, 3000, 2000, i + 1)) return 1;
            originals.push_back(file);
        }
    }
    if (originals.empty()) {
        std::fprintf(stderr, "no JPEG files in %s\n", argv[1]);
        return 1;
    }

    // Distinct names for every copy; links cost no disk space.
    exporting::BatchSummary summary;
    std::uintmax_t sourceBytes = 0;
    for (std::size_t i = 0; i < copies; ++i) {
        const fs::path& original = originals[i % originals.size()];
        const fs::path copy = work / ("copy-" + std::to_string(i) + ".jpg");
        std::error_code error;
        fs::create_hard_link(original, copy, error);
        if (error) fs::copy_file(original, copy, error);
        if (error) return 1;
        sourceBytes += fs::file_size(copy);
        summary.results.push_back({original, exporting::FileOutcome::stamped(copy), std::nullopt});
    }

    settings::StampConfiguration configuration;
    configuration.project = settings::PhotoProject{};
    configuration.project->title = "Benchmark";

    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    auto pdf = handover::ContactSheet::make(summary, configuration);
    const double cpu = cpuSeconds() - cpuStart;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fs::remove_all(work);
    if (!pdf) {
        std::fprintf(stderr, "%s\n", pdf.error().description().c_str());
        return 1;
    }

    if (argc > 2) {
        std::FILE* out = std::fopen(argv[2], "wbx");
        if (out == nullptr || std::fwrite(pdf->data(), 1, pdf->size(), out) != pdf->size()) return 1;
        std::fclose(out);
    }
    std::printf("photos: %zu copies of %zu files, %.1f MB each on average\n", copies, originals.size(),
                static_cast<double>(sourceBytes) / copies / 1e6);
    std::printf("contact sheet: %.2f s, %.1f thumbnails/s\n", seconds, copies / seconds);
    // On a shared machine the wall clock also counts time spent waiting for a core.
    std::printf("processor time: %.2f s, %.1f thumbnails per processor second\n", cpu, copies / cpu);
    std::printf("PDF: %.0f KB, %.1f KB per thumbnail\n", pdf->size() / 1024.0, pdf->size() / 1024.0 / copies);
    return 0;
}
