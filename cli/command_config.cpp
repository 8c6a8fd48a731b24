#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <sstream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/settings_file.h"
#include "kit/settings/settings_json.h"
#include "kit/storage/watermark_store.h"

namespace veltrop::cli {

namespace {

int printDefault(const Invocation& invocation, const ParsedArguments& parsed) {
    if (parsed.positionals.size() > 1)
        return invocation.usageError("unexpected argument \u201C" + parsed.positionals[1] + "\u201D");
    const auto text = settings::encodeStampConfiguration(settings::defaultConfiguration());
    if (!text) {
        invocation.err << text.error().description() << "\n";
        return exitFailure;
    }
    invocation.out << *text << "\n";
    return exitSuccess;
}

// Whether the image an image watermark names is in the application's
// watermark store; a text watermark or none needs no image.
bool watermarkImageAvailable(const settings::StampConfiguration& configuration) {
    if (!configuration.watermark) return true;
    const auto* id = configuration.watermark->source.imageValue();
    if (id == nullptr) return true;
    const auto store = storage::WatermarkStore::standard();
    return store && store->loadImage(*id).has_value();
}

int checkDocument(const Invocation& invocation, const std::string& file, const std::string& text) {
    const auto document = settings::decodePresetDocument(text);
    if (!document) {
        invocation.err << "The presets in \u201C" << file << "\u201D could not be read \u2014 "
                       << document.error().description() << "\n";
        return exitFailure;
    }
    if (document->version > settings::PresetDocument::currentVersion) {
        invocation.err << "Your presets were written by a newer version of Veltrop (format " << document->version
                       << ")\n";
        return exitFailure;
    }
    bool allValid = true;
    for (const auto& preset : document->presets) {
        if (const auto problem =
                settings::validate(preset.configuration, watermarkImageAvailable(preset.configuration))) {
            invocation.err << "\u201C" << preset.name << "\u201D: " << settings::description(*problem) << "\n";
            allValid = false;
        }
    }
    if (!allValid) return exitFailure;
    invocation.out << "OK\n";
    return exitSuccess;
}

int checkConfiguration(const Invocation& invocation, const std::string& file, const std::string& text) {
    const auto configuration = settings::decodeStampConfiguration(text);
    if (!configuration) {
        invocation.err << "The configuration in \u201C" << file << "\u201D could not be read \u2014 "
                       << configuration.error().description() << "\n";
        return exitFailure;
    }
    if (const auto problem = settings::validate(*configuration, watermarkImageAvailable(*configuration))) {
        invocation.err << settings::description(*problem) << "\n";
        return exitFailure;
    }
    invocation.out << "OK\n";
    return exitSuccess;
}

int checkFile(const Invocation& invocation, const ParsedArguments& parsed) {
    if (parsed.positionals.size() != 2)
        return invocation.usageError(parsed.positionals.size() < 2 ? "missing FILE" : "expected one FILE");
    const std::string& file = parsed.positionals[1];
    const auto text = readSettingsFile(file);
    if (!text) {
        invocation.err << text.error() << "\n";
        return exitFailure;
    }
    return settings::looksLikePresetDocument(*text) ? checkDocument(invocation, file, *text)
                                                    : checkConfiguration(invocation, file, *text);
}

int runConfig(const Invocation& invocation) {
    const auto parsed = parseArguments(invocation.arguments, {});
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.empty()) return invocation.usageError("missing subcommand (default or check)");

    const std::string& subcommand = parsed->positionals.front();
    if (subcommand == "default") return printDefault(invocation, *parsed);
    if (subcommand == "check") return checkFile(invocation, *parsed);
    return invocation.usageError("unknown subcommand \u201C" + subcommand + "\u201D");
}

}  // namespace

const Command configCommand{
    "config",
    "Print the default configuration or check a configuration file",
    "Usage: veltrop-cli config default\n"
    "       veltrop-cli config check FILE\n"
    "\n"
    "Prints the default configuration, or checks a settings file.\n"
    "\n"
    "Commands:\n"
    "  default      print the default configuration as JSON\n"
    "  check FILE   read a configuration, or a whole presets file, and validate every\n"
    "               configuration in it (logos are looked up among the application's\n"
    "               watermark images); print OK, or name what is wrong and exit 1\n"
    "\n"
    "Options:\n"
    "  -h, --help    show this help\n",
    runConfig,
};

}  // namespace veltrop::cli
