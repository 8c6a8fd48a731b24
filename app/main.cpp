// The application entry: the windows over one model, the paths given on the
// command line added to the batch, and a hidden mode that saves pictures of
// every window for review.

#include <QApplication>
#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string_view>
#include <vector>

#include "app/ui/screenshot_tour.h"
#include "app/ui/veltrop_app.h"

namespace {

namespace fs = std::filesystem;

struct Arguments {
    std::vector<fs::path> paths;
    std::optional<fs::path> screenshots;
    std::optional<fs::path> corpus;
    bool help = false;
    bool version = false;
};

Arguments parse(int argc, char* argv[]) {
    Arguments arguments;
    bool onlyPaths = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (onlyPaths || argument.empty() || argument.front() != '-') {
            arguments.paths.push_back(fs::absolute(fs::path(argument)));
        } else if (argument == "--") {
            onlyPaths = true;
        } else if (argument == "--screenshots" && i + 1 < argc) {
            arguments.screenshots = fs::absolute(argv[++i]);
        } else if (argument == "--corpus" && i + 1 < argc) {
            arguments.corpus = fs::absolute(argv[++i]);
        } else if (argument == "--help" || argument == "-h") {
            arguments.help = true;
        } else if (argument == "--version") {
            arguments.version = true;
        }
        // Anything else is left to Qt (-platform, -style …).
    }
    return arguments;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Answered before QApplication exists, so that they need no display.
    const Arguments arguments = parse(argc, argv);
    if (arguments.help) {
        std::cout << "Usage: veltrop [OPTIONS] [PHOTO-OR-FOLDER]...\n"
                     "\n"
                     "Starts Veltrop, which stamps capture dates onto new JPEG copies of photos,\n"
                     "with the given photos and folders in the batch.\n"
                     "\n"
                     "Options:\n"
                     "  -h, --help    show this help\n"
                     "  --version     print the version\n"
                     "  Qt's own options (-platform, -style \u2026) are passed on.\n"
                     "\n"
                     "veltrop-cli offers the same work from the command line.\n";
        return 0;
    }
    if (arguments.version) {
        std::cout << "veltrop " << VELTROP_VERSION << "\n";
        return 0;
    }

    // The picture tour gets private data and configuration folders so it
    // never reads or changes the user's presets.
    std::unique_ptr<QTemporaryDir> privateHome;
    if (arguments.screenshots) {
        privateHome = std::make_unique<QTemporaryDir>();
        const QByteArray home = privateHome->path().toUtf8();
        qputenv("XDG_DATA_HOME", home + "/data");
        qputenv("XDG_CONFIG_HOME", home + "/config");
        qputenv("XDG_CACHE_HOME", home + "/cache");
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Veltrop"));
    QApplication::setApplicationName(QStringLiteral("Veltrop"));
    QApplication::setApplicationDisplayName(QStringLiteral("Veltrop"));
    QApplication::setDesktopFileName(QStringLiteral("veltrop"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("veltrop")));

    if (arguments.screenshots) {
        fs::path corpus = arguments.corpus.value_or(fs::path());
        if (corpus.empty()) {
            const char* fromEnvironment = std::getenv("VELTROP_CORPUS");
            corpus = fromEnvironment ? fs::path(fromEnvironment) : fs::path();
        }
        if (corpus.empty() || !fs::is_directory(corpus)) {
            std::cerr << "veltrop: --screenshots needs a photo folder (--corpus DIR or VELTROP_CORPUS)\n";
            return 2;
        }
        return veltrop::app::runScreenshotTour(*arguments.screenshots, corpus);
    }

    veltrop::app::VeltropApp app;
    app.show();
    if (!arguments.paths.empty()) app.addLocations(arguments.paths);
    return QApplication::exec();
}
