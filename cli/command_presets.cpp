#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/preset_lookup.h"
#include "cli/settings_file.h"
#include "kit/dates/exif_fields.h"
#include "kit/platform/private_folder.h"
#include "kit/settings/settings_json.h"

namespace veltrop::cli {

namespace {

int list(const Invocation& invocation) {
    const PresetListing listing = listPresets();
    if (listing.problem) invocation.err << *listing.problem << "\n";
    for (const auto& preset : listing.presets) invocation.out << preset.name << "\t" << preset.id.text() << "\n";
    return listing.problem ? exitFailure : exitSuccess;
}

// The named preset as JSON, or nullopt after saying why not.
std::optional<std::string> presetJson(const Invocation& invocation, const std::string& name) {
    const auto preset = findPreset(listPresets(), name);
    if (!preset) {
        invocation.err << preset.error() << "\n";
        return std::nullopt;
    }
    auto json = settings::encodePreset(*preset);
    if (!json) {
        invocation.err << json.error().description() << "\n";
        return std::nullopt;
    }
    return *json;
}

int show(const Invocation& invocation, const std::string& name) {
    const auto json = presetJson(invocation, name);
    if (!json) return exitFailure;
    invocation.out << *json << "\n";
    return exitSuccess;
}

int exportPreset(const Invocation& invocation, const std::string& name, const std::filesystem::path& file) {
    const auto json = presetJson(invocation, name);
    if (!json) return exitFailure;
    // Finished beside the file and moved into place only if nothing is there.
    if (auto error = platform::publishNewFile(file, *json + "\n", ".veltrop-" + settings::Uuid::random().text(),
                                              "preset.json")) {
        invocation.err << "Could not save " << file.string() << " (" << error.message()
                       << "); existing files were preserved\n";
        return exitFailure;
    }
    return exitSuccess;
}

int importPreset(const Invocation& invocation, const std::filesystem::path& file, std::optional<std::string> name) {
    auto text = readSettingsFile(file);
    if (!text) {
        invocation.err << text.error() << "\n";
        return exitFailure;
    }
    // A preset file keeps its name; a bare configuration is named after its file.
    settings::Preset preset;
    if (auto decoded = settings::decodePreset(*text)) {
        preset = *decoded;
    } else if (auto configuration = settings::decodeStampConfiguration(*text)) {
        preset.name = file.stem().string();
        preset.configuration = *configuration;
    } else {
        invocation.err << decoded.error().description() << "\n";
        return exitFailure;
    }
    preset.id = settings::Uuid::random();  // an import never takes over an existing preset
    if (name) preset.name = *name;
    preset.name = dates::trimmed(preset.name);
    if (preset.name.empty()) return invocation.usageError("the preset needs a name");

    auto store = storage::PresetStore::standard();
    if (!store) {
        invocation.err << store.error().description() << "\n";
        return exitFailure;
    }
    auto presets = store->load();
    if (!presets) {  // an unusable file stays exactly as it is
        invocation.err << presets.error().description() << "\n";
        return exitFailure;
    }
    // A second preset of the same name could only be told apart by its id: number it instead.
    std::vector<settings::Preset> edited = presets->empty() ? storage::builtIns() : *presets;
    std::vector<settings::Preset> named = edited;
    named.insert(named.end(), storage::builtIns().begin(), storage::builtIns().end());
    const std::string given = preset.name;
    preset.name = unusedPresetName(named, given);
    edited.push_back(preset);
    // Merged under the store's lock with whatever another program saved meanwhile.
    if (auto saved = store->saveChanges(*presets, edited); !saved) {
        invocation.err << saved.error().description() << "\n";
        return exitFailure;
    }
    if (preset.name != given)
        invocation.err << "A preset is already called \u201C" << given << "\u201D; the import is called \u201C"
                       << preset.name << "\u201D.\n";
    invocation.out << preset.name << "\t" << preset.id.text() << "\n";
    return exitSuccess;
}

int runPresets(const Invocation& invocation) {
    const OptionSpec options[] = {{"--name", true}};
    auto parsed = parseArguments(invocation.arguments, options);
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    const auto& words = parsed->positionals;
    if (words.empty()) return invocation.usageError("say list, show, export or import");
    const std::string& action = words[0];
    if (action != "import" && parsed->value("--name")) return invocation.usageError("--name goes with import");
    if (action == "list" && words.size() == 1) return list(invocation);
    if (action == "show" && words.size() == 2) return show(invocation, words[1]);
    if (action == "export" && words.size() == 3) return exportPreset(invocation, words[1], words[2]);
    if (action == "import" && words.size() == 2) return importPreset(invocation, words[1], parsed->value("--name"));
    return invocation.usageError("unknown or incomplete presets command");
}

}  // namespace

extern const Command presetsCommand{
    "presets", "List, show, export and import saved presets",
    "Usage: veltrop-cli presets list\n"
    "       veltrop-cli presets show NAME\n"
    "       veltrop-cli presets export NAME FILE\n"
    "       veltrop-cli presets import [--name NAME] FILE\n\n"
    "Works on the presets the application keeps ($XDG_DATA_HOME/Veltrop/presets.json).\n"
    "NAME is a preset's name or id; the built-in presets \"Timestamp\" and \"Watermark\"\n"
    "are always there. A name that several presets share is refused with their ids.\n"
    "When the presets file cannot be used, list shows why and the built-ins, and no\n"
    "command changes the file.\n\n"
    "Commands:\n"
    "  list                print every preset: its name, a tab, its id\n"
    "  show NAME           print the preset as JSON\n"
    "  export NAME FILE    save the preset to FILE, which must not exist\n"
    "  import FILE         add a copy of the preset (or configuration) in FILE under a\n"
    "                      new id; a name already taken gets a number, e.g. \"Survey 2\"\n\n"
    "Options:\n"
    "  --name NAME         the name of the imported preset\n"
    "  -h, --help          show this help\n",
    runPresets};

}  // namespace veltrop::cli
