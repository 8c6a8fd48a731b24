// How a batch scales: planning, corrections, workers and the package, each
// printed as one figure next to its target.
//
//   bench_batch_scale [FOLDER]   photos from FOLDER (default: $VELTROP_CORPUS)
//
// Large batches are generated trees of hard links (copies where links are
// refused) to the folder's photos in a temporary folder. Times are thread CPU
// time of the thread that runs the batch (the machine may be busy with other
// work); the package figure is the CPU time of the whole process, with every
// copy encoded after its decoding on the worker's own thread: whether a copy
// overlaps its decoding depends on the moment and costs CPU of its own (rows
// handed between cores), which would swamp what the package adds.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"
#include "kit/export/batch_processor.h"
#include "kit/export/image_loader.h"
#include "kit/export/photo_discovery.h"
#include "kit/handover/contact_sheet.h"
#include "kit/handover/handover_package.h"
#include "kit/settings/uuid.h"

using namespace veltrop;
namespace fs = std::filesystem;

namespace {

using bench::processSeconds;
using bench::row;
using bench::threadSeconds;

void linkOrCopy(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::create_hard_link(from, to, error);
    if (error) fs::copy_file(from, to);
}

// A tree of files that are hard links to the given photos, `perFolder` a folder.
std::vector<fs::path> makeTree(const fs::path& root, const std::vector<fs::path>& originals, std::size_t count,
                               std::size_t perFolder, std::map<fs::path, fs::path>& originalOf) {
    std::vector<fs::path> files;
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path folder = root / ("folder " + std::to_string(i / perFolder));
        if (i % perFolder == 0) fs::create_directories(folder);
        const fs::path& original = originals[i % originals.size()];
        const fs::path file = folder / ("IMG_" + std::to_string(i) + original.extension().string());
        linkOrCopy(original, file);
        originalOf[file] = original;
        files.push_back(file);
    }
    return files;
}

// Discovery with each original's metadata read once.
std::vector<records::DiscoveredPhoto> discovered(const fs::path& root, const std::map<fs::path, fs::path>& originalOf) {
    std::map<fs::path, std::optional<exporting::ImageInfo>> infos;
    const std::vector<fs::path> dropped{root};
    return exporting::PhotoDiscovery::makePhotos(
        exporting::PhotoDiscovery::discoverFiles(dropped, true, {}), dropped, [&](const fs::path& file) {
            const fs::path& original = originalOf.at(file);
            auto found = infos.find(original);
            if (found == infos.end()) found = infos.emplace(original, exporting::PhotoDiscovery::readInfo(original)).first;
            return found->second;
        });
}

// Thread CPU time of run() up to the first photo handed to a worker; the
// workers write nothing.
double secondsToFirstWrite(const std::vector<records::DiscoveredPhoto>& photos,
                           const settings::StampConfiguration& configuration) {
    std::atomic<bool> started{false};
    exporting::BatchProcessor processor(4, std::nullopt, [&](const exporting::StampPlan& plan, const exporting::StampJob&) {
        started = true;
        return exporting::FileOutcome::stamped(*plan.destination);
    });
    double first = -1;
    const double start = threadSeconds();
    const auto summary = processor.run(photos, configuration, std::nullopt, {}, std::nullopt, [&](std::size_t) {
        if (first < 0) first = threadSeconds() - start;
    });
    if (summary.count(exporting::FileOutcome::Kind::stamped) != photos.size())
        std::fprintf(stderr, "warning: %zu of %zu photos planned\n", summary.count(exporting::FileOutcome::Kind::stamped),
                     photos.size());
    return first;
}

std::atomic<int> threadsSeen{0};
struct ThreadMarker {
    ThreadMarker() { ++threadsSeen; }
};

// CPU seconds of the last package's reports alone (index, contact sheet, checksums).
double reportSeconds = 0;

// Process CPU seconds of a real export of the photos, with or without the package reports.
double exportSeconds(const std::vector<records::DiscoveredPhoto>& photos, const fs::path& output, bool package,
                     std::size_t& stamped) {
    settings::StampConfiguration configuration;
    configuration.outputRoot = output;
    configuration.useFileDateFallback = true;
    exporting::BatchProcessor processor(2, std::nullopt, [](const exporting::StampPlan& plan, const exporting::StampJob& job) {
        thread_local ThreadMarker marker;
        exporting::StampJob unlapped = job;
        unlapped.overlap = exporting::Overlap::never;
        return exporting::stampPhoto(plan, unlapped);
    });
    if (package) handover::ContactSheet::keepThumbnails(processor);
    const double start = processSeconds();
    const auto summary = processor.run(photos, configuration, std::nullopt, {}, std::nullopt);
    if (package) {
        fs::create_directories(output / "reports");
        const double reportsStart = processSeconds();
        (void)handover::HandoverPackage::buildReports(summary, output / "reports", configuration, nullptr,
                                                      processor.thumbnails().get());
        reportSeconds = processSeconds() - reportsStart;
    }
    stamped = summary.count(exporting::FileOutcome::Kind::stamped);
    return processSeconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path folder = bench::photoFolder(argc, argv);
    if (folder.empty()) return 2;
    exporting::ImageLoader::prepare();
    const bench::Scratch scratchFolder;
    const fs::path& scratch = scratchFolder.path();

    std::vector<fs::path> decodable, dated;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!exporting::ImageLoader::hasAcceptedExtension(entry.path())) continue;
        auto info = exporting::ImageLoader::readInfo(entry.path());
        if (!info) continue;
        decodable.push_back(entry.path());
        if (dates::CaptureDateReader::readRecordedDate(info->properties)) dated.push_back(entry.path());
    }
    std::sort(decodable.begin(), decodable.end());
    std::sort(dated.begin(), dated.end());
    if (dated.empty()) {
        std::fprintf(stderr, "no dated photos in %s\n", folder.c_str());
        return 2;
    }
    std::printf("photos from %s; times are thread CPU seconds unless said\n\n", folder.c_str());

    {  // 2,000 photos that all plan to the same name
        std::map<fs::path, fs::path> originalOf;
        const fs::path root = scratch / "same";
        makeTree(root, {dated.front()}, 2000, 2000, originalOf);
        const auto photos = discovered(root, originalOf);
        settings::StampConfiguration configuration;
        configuration.naming.template_ = "{date}";
        configuration.outputRoot = scratch / "same-out";
        row("2,000 photos named \"{date}\" (one date): CPU to the first write", secondsToFirstWrite(photos, configuration),
            "s", 0.5);
    }
    {  // a tree of 5,000 photos in 50 folders
        std::map<fs::path, fs::path> originalOf;
        const fs::path root = scratch / "tree";
        makeTree(root, decodable, 5000, 100, originalOf);
        const auto photos = discovered(root, originalOf);
        settings::StampConfiguration configuration;
        configuration.useFileDateFallback = true;
        row("5,000-photo tree: CPU to the first write", secondsToFirstWrite(photos, configuration), "s", 0.8);
    }
    {  // 1,000 photos against 6,400 folder corrections
        std::vector<records::DiscoveredPhoto> photos(1000);
        for (std::size_t i = 0; i < photos.size(); ++i) {
            photos[i].root = "/survey";
            photos[i].relativeSubpath = "site " + std::to_string(i % 80) + "/day " + std::to_string(i % 7);
            photos[i].url = "/survey/" + photos[i].relativeSubpath + "/IMG_" + std::to_string(i) + ".jpg";
            photos[i].captureDate = dates::CaptureDate{2026, 8, 14, 6, 17, 49, dates::CaptureDateSource::dateTimeOriginal};
        }
        std::vector<records::DateCorrectionRule> rules;
        for (int i = 0; i < 6400; ++i)
            rules.push_back(*records::makeShiftRule(
                records::DateCorrectionScope::folder("/survey/site " + std::to_string(i % 100) + "/day " +
                                                     std::to_string(i % 9) + "/"),
                0, 1, 0));
        const settings::StampConfiguration configuration;
        const double start = threadSeconds();
        const records::CorrectionRules prepared(rules);
        std::size_t changed = 0;
        for (std::size_t i = 0; i < photos.size(); ++i)
            changed += records::makeRecord(photos[i], static_cast<std::int64_t>(i), configuration, prepared, std::nullopt)
                           .correction.empty()
                           ? 0
                           : 1;
        row("1,000 photos x 6,400 folder corrections: records", threadSeconds() - start, "s", 0.3);
        if (changed == 0) std::fprintf(stderr, "warning: no photo matched a correction\n");
    }
    {  // a real export of 200 photos, plain and with the package
        std::vector<fs::path> jpegs;
        for (const auto& file : decodable)
            if (file.filename() != "corrupted.jpg") jpegs.push_back(file);
        std::map<fs::path, fs::path> originalOf;
        const fs::path root = scratch / "package";
        makeTree(root, jpegs, 200, 50, originalOf);
        const auto photos = discovered(root, originalOf);
        // The least of two runs each: the machine's other load moves single
        // runs by several percent.
        std::size_t plainCount = 0, packageCount = 0;
        double plain = 1e30, withPackage = 1e30;
        int plainThreads = 0;
        // The second export of a pair runs while the first one's copies are
        // still being written back: each kind goes first once.
        for (int round = 0; round < 2; ++round) {
            const std::string suffix = std::to_string(round);
            const auto runPlain = [&] {
                threadsSeen = 0;
                plain = std::min(plain, exportSeconds(photos, scratch / ("plain-out" + suffix), false, plainCount));
                plainThreads = threadsSeen.load();
            };
            const auto runPackage = [&] {
                withPackage =
                    std::min(withPackage, exportSeconds(photos, scratch / ("package-out" + suffix), true, packageCount));
            };
            if (round == 0) runPlain(), runPackage();
            else runPackage(), runPlain();
        }
        std::printf("(200-photo export: %zu stamped, %.2f s plain, %.2f s with package, of which %.2f s the "
                    "reports after the photos, process CPU)\n",
                    plainCount, plain, withPackage, reportSeconds);
        row("export with package / plain export, 200 photos (process CPU)", withPackage / plain, "x", 1.05);
        row("threads that stamped photos, per photo (maxConcurrent 2)",
            static_cast<double>(plainThreads) / static_cast<double>(std::max<std::size_t>(1, plainCount)), "", 2.0 / 200);
    }
    return 0;
}
