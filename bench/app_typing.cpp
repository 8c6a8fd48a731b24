// Typing one character in the project title with a large batch: the model's
// change, its signals and every window that follows them (the main window's
// content and the open date review), as thread CPU time per change.
//
//   bench_app_typing [FOLDER]   photos from FOLDER (default: $VELTROP_CORPUS)
//
// The batch is a generated folder tree of hard links (copies where links are
// refused) to the folder's JPEGs; discovery reads them once before timing.
#include <time.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/model/app_model.h"
#include "app/ui/content_view.h"
#include "app/ui/date_review_view.h"

using namespace veltrop;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t photoCount = 6000;
constexpr std::size_t perFolder = 200;
constexpr int changes = 15;
constexpr double targetMilliseconds = 16;

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::vector<fs::path> jpegsIn(const fs::path& folder) {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (entry.is_regular_file() && (extension == ".jpg" || extension == ".jpeg")) found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

void makeTree(const fs::path& root, const std::vector<fs::path>& originals) {
    for (std::size_t i = 0; i < photoCount; ++i) {
        const fs::path folder = root / ("folder " + std::to_string(i / perFolder));
        if (i % perFolder == 0) fs::create_directories(folder);
        const fs::path file = folder / ("IMG_" + std::to_string(i) + ".jpg");
        std::error_code error;
        fs::create_hard_link(originals[i % originals.size()], file, error);
        if (error) fs::copy_file(originals[i % originals.size()], file);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* corpus = std::getenv("VELTROP_CORPUS");
    const fs::path folder = argc > 1 ? fs::path(argv[1]) : corpus ? fs::path(corpus) : fs::path();
    if (folder.empty() || !fs::is_directory(folder)) {
        std::fprintf(stderr, "usage: %s FOLDER (or set VELTROP_CORPUS)\n", argv[0]);
        return 2;
    }
    const auto originals = jpegsIn(folder);
    if (originals.empty()) {
        std::fprintf(stderr, "no JPEG photos in %s\n", folder.c_str());
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir temporary;
    const fs::path root = fs::path(temporary.path().toStdString()) / "survey";
    makeTree(root, originals);

    auto defaults = std::make_shared<QSettings>(temporary.filePath(QStringLiteral("defaults.ini")), QSettings::IniFormat);
    app::AppModel model(app::AppStores{}, defaults, nullptr);
    app::ContentView content(model);
    content.resize(1280, 800);
    content.show();
    model.addLocations({root});
    model.setShowDateReview(true);
    QApplication::processEvents();
    if (model.photos().size() != photoCount || !content.dateReview()) {
        std::fprintf(stderr, "the batch has %zu photos, expected %zu\n", model.photos().size(), photoCount);
        return 1;
    }

    std::vector<double> milliseconds;
    std::string title = "Survey";
    for (int i = 0; i <= changes; ++i) {
        QApplication::processEvents();
        title += static_cast<char>('a' + i % 26);
        auto configuration = model.configuration();
        if (!configuration.project) configuration.project = settings::defaultProject();
        configuration.project->title = title;
        const double start = threadSeconds();
        model.setConfiguration(configuration);
        const double elapsed = (threadSeconds() - start) * 1000;
        if (i > 0) milliseconds.push_back(elapsed);  // the first change warms caches
    }
    if (model.records().front().project != title) {
        std::fprintf(stderr, "the records do not show the new title\n");
        return 1;
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    const double median = milliseconds[milliseconds.size() / 2];
    std::printf("%-62s %9.3f ms  target <= %.3g%s\n", "one project-title character, 6,000 photos (median)", median,
                targetMilliseconds, median <= targetMilliseconds ? "" : "  (missed)");
    std::printf("%-62s %9.3f ms\n", "slowest of the changes", milliseconds.back());
    // The share of one change that is building the records themselves.
    const double start = threadSeconds();
    const auto built = app::photoRecords(model.snapshot());
    std::printf("%-62s %9.3f ms  (%zu records)\n", "of which building the records once", (threadSeconds() - start) * 1000,
                built.size());
    return 0;
}
