#pragma once
// Runs a command line in-process, or the real veltrop-cli program, and keeps
// what it printed; and makes photos for it with tools outside the project:
// ImageMagick draws a JPEG and exiftool writes the EXIF fields, so the dates
// the program reads are known independently of its own reader and writer.

#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "support/process_run.h"
#include "support/test_support.h"

namespace veltrop::testing {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

inline CliRun runCli(const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int status = cli::run(arguments, out, err);
    return {status, out.str(), err.str()};
}

// The built veltrop-cli as its own process: real exit status, signals, streams.
inline ProcessRun runBinary(const std::vector<std::string>& arguments, const ProcessOptions& options = {}) {
    return runProcess(VELTROP_CLI_PATH, arguments, options);
}

inline bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The program's location found through PATH, or empty.
inline std::filesystem::path findProgram(const std::string& name) {
    std::string path = commandOutput("command -v " + shellQuoted(name) + " 2>/dev/null").value_or("");
    if (path.ends_with('\n')) path.pop_back();
    return path;
}

struct PhotoLook {
    std::optional<std::string> date;  // DateTimeOriginal as EXIF writes it
    std::string make;
    std::string model;
    std::string size = "64x48";
    std::string pixels = "gradient:white-gray";  // as ImageMagick names them
};

// Empty on success, otherwise what went wrong. exiftool starts slowly, so
// one run tags every photo.
inline std::string makePhotos(const std::vector<std::pair<std::filesystem::path, PhotoLook>>& photos) {
    const auto convert = findProgram("convert");
    const auto exiftool = findProgram("exiftool");
    if (convert.empty() || exiftool.empty()) return "ImageMagick's convert and exiftool are needed (scripts/setup)";
    std::vector<std::string> tags{"-q", "-overwrite_original"};
    bool any = false;
    for (const auto& [file, look] : photos) {
        std::filesystem::create_directories(file.parent_path());
        const auto drawn = runProcess(convert, {"-size", look.size, look.pixels, file.string()});
        if (drawn.status != 0) return "convert failed: " + drawn.err;
        if (!look.date && look.make.empty() && look.model.empty()) continue;
        if (any) tags.insert(tags.end(), {"-execute", "-q", "-overwrite_original"});
        if (look.date) tags.push_back("-DateTimeOriginal=" + *look.date);
        if (!look.make.empty()) tags.push_back("-Make=" + look.make);
        if (!look.model.empty()) tags.push_back("-Model=" + look.model);
        tags.push_back(file.string());
        any = true;
    }
    if (!any) return {};
    const auto tagged = runProcess(exiftool, tags);
    return tagged.status == 0 ? std::string() : "exiftool failed: " + tagged.err;
}

inline std::string makePhoto(const std::filesystem::path& file, const PhotoLook& look) { return makePhotos({{file, look}}); }

}  // namespace veltrop::testing
