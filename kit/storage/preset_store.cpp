#include "kit/storage/preset_store.h"

#include <algorithm>
#include <limits>
#include <map>

#include "kit/platform/file_lock.h"
#include "kit/json/value.h"
#include "kit/platform/private_files.h"

namespace veltrop::storage {

namespace fs = std::filesystem;
using settings::Preset;
using settings::PresetDocument;

std::string PresetStoreError::description() const {
    switch (kind) {
        case Kind::unsupportedVersion:
            return "Your presets were written by a newer version of Veltrop (format " + std::to_string(version) + ")";
        case Kind::unreadable: return "Your presets file could not be read";
        case Kind::recoveryUnavailable: return "This preset store cannot make a recovery backup";
        case Kind::fileSystem: return fileError ? fileError->description() : std::string();
        case Kind::encoding: return codingError ? codingError->description() : std::string();
    }
    return {};
}

namespace {

settings::Uuid fixedID(const char* text) {
    // The literals below are well formed; a failure here is a typo in this file.
    return settings::Uuid::parse(text).value();
}

// A newer program may have changed the file's shape as well as its number, so
// the number is looked at before the shape: such a file is reported as newer,
// not as damaged.
std::optional<std::int64_t> newerVersion(std::string_view bytes) {
    const auto document = json::parse(bytes);
    if (!document || !document->object()) return std::nullopt;
    const json::Value* version = document->find("version");
    if (version == nullptr) return std::nullopt;
    std::int64_t value = 0;
    if (const std::uint64_t* number = version->unsignedInteger()) {
        if (*number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
        value = static_cast<std::int64_t>(*number);
    } else if (const std::int64_t* integer = version->integer()) {
        value = *integer;
    } else {
        return std::nullopt;
    }
    if (value > PresetDocument::currentVersion) return value;
    return std::nullopt;
}

}  // namespace

const settings::Uuid& timestampPresetID() {
    static const settings::Uuid id = fixedID("9F1C4E2A-0000-4000-A000-000000000001");
    return id;
}

const settings::Uuid& watermarkPresetID() {
    static const settings::Uuid id = fixedID("9F1C4E2A-0000-4000-A000-000000000002");
    return id;
}

const std::vector<Preset>& builtIns() {
    static const std::vector<Preset> presets = [] {
        settings::StampConfiguration watermarkOnly = settings::defaultConfiguration();
        watermarkOnly.timestampEnabled = false;
        watermarkOnly.watermark = settings::defaultWatermark();
        return std::vector<Preset>{
            Preset{timestampPresetID(), "Timestamp", settings::defaultConfiguration()},
            Preset{watermarkPresetID(), "Watermark", watermarkOnly},
        };
    }();
    return presets;
}

std::expected<PresetStore, FileSystemError> PresetStore::standard(const EnvironmentLookup& environment) {
    auto folder = veltropFolder(environment);
    if (!folder) return std::unexpected(folder.error());
    return PresetStore(*folder / fileName);
}

std::vector<Preset> mergePresets(const std::vector<Preset>& loaded, const std::vector<Preset>& edited,
                                 const std::vector<Preset>& current) {
    const auto byID = [](const std::vector<Preset>& list) {
        std::map<settings::Uuid, const Preset*> map;
        for (const Preset& preset : list) map.emplace(preset.id, &preset);
        return map;
    };
    const auto base = byID(loaded), mine = byID(edited), theirs = byID(current);

    std::vector<Preset> merged;
    for (const Preset& preset : edited) {
        const auto before = base.find(preset.id);
        const auto now = theirs.find(preset.id);
        if (before == base.end()) {
            merged.push_back(preset);  // added here
        } else if (!(preset == *before->second)) {
            merged.push_back(preset);  // changed here: this side wins, even over a removal
        } else if (now != theirs.end()) {
            merged.push_back(*now->second);  // unchanged here: the other side's value
        }
        // else: unchanged here and removed by the other side
    }
    // Added by the other side: placed after the preset they follow there.
    for (std::size_t i = 0; i < current.size(); ++i) {
        const Preset& preset = current[i];
        if (base.contains(preset.id) || mine.contains(preset.id)) continue;
        auto at = merged.begin();
        for (std::size_t j = i; j > 0; --j) {
            const settings::Uuid& previous = current[j - 1].id;
            const auto found = std::find_if(merged.begin(), merged.end(), [&](const Preset& p) { return p.id == previous; });
            if (found != merged.end()) {
                at = found + 1;
                break;
            }
        }
        // After what this side added there too: both sides' additions at
        // the end stay in the order "this side's, then the other's".
        while (at != merged.end() && !base.contains(at->id) && !theirs.contains(at->id)) ++at;
        merged.insert(at, preset);
    }
    return merged;
}

std::expected<std::vector<Preset>, PresetStoreError> PresetStoring::saveChanges(const std::vector<Preset>& loaded,
                                                                                 const std::vector<Preset>& edited) {
    auto current = load();
    if (!current) return std::unexpected(current.error());
    std::vector<Preset> merged = mergePresets(loaded, edited, *current);
    if (auto saved = save(merged); !saved) return std::unexpected(saved.error());
    return merged;
}

namespace {

// Creates the folder and takes the writers' lock.
[[nodiscard]] std::expected<platform::FileLock, PresetStoreError> lockedFolder(const fs::path& folder,
                                                                             const fs::path& lockFile) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        return std::unexpected(PresetStoreError::fileSystem({FileSystemError::Operation::createFolder, folder, error}));
    auto lock = platform::FileLock::acquire(lockFile);
    if (!lock)
        return std::unexpected(PresetStoreError::fileSystem({FileSystemError::Operation::write, lockFile, lock.error()}));
    return std::move(*lock);
}

}  // namespace

fs::path PresetStore::lockFileURL() const {
    return fileURL_.parent_path() / (fileURL_.filename().string() + lockSuffix);
}

std::expected<std::vector<Preset>, PresetStoreError> PresetStore::load() const { return read(); }

std::expected<std::vector<Preset>, PresetStoreError> PresetStore::read() const {
    auto bytes = platform::readWholeFile(fileURL_);
    if (!bytes) {
        if (bytes.error() == std::errc::no_such_file_or_directory) return std::vector<Preset>{};
        return std::unexpected(PresetStoreError::unreadable());
    }
    if (auto newer = newerVersion(*bytes)) return std::unexpected(PresetStoreError::unsupportedVersion(*newer));
    auto document = settings::decodePresetDocument(*bytes);
    if (!document) return std::unexpected(PresetStoreError::unreadable());
    if (document->version > PresetDocument::currentVersion)
        return std::unexpected(PresetStoreError::unsupportedVersion(document->version));
    return std::move(document->presets);
}

std::expected<void, PresetStoreError> PresetStore::write(const std::vector<Preset>& presets) {
    auto text = settings::encodePresetDocument(PresetDocument{PresetDocument::currentVersion, presets});
    if (!text) return std::unexpected(PresetStoreError::encoding(text.error()));
    if (auto writeError = platform::writeFileAtomically(fileURL_, *text))
        return std::unexpected(PresetStoreError::fileSystem({FileSystemError::Operation::write, fileURL_, writeError}));
    return {};
}

std::expected<void, PresetStoreError> PresetStore::save(const std::vector<Preset>& presets) {
    auto lock = lockedFolder(fileURL_.parent_path(), lockFileURL());
    if (!lock) return std::unexpected(lock.error());
    return write(presets);
}

std::expected<std::vector<Preset>, PresetStoreError> PresetStore::saveChanges(const std::vector<Preset>& loaded,
                                                                              const std::vector<Preset>& edited) {
    auto lock = lockedFolder(fileURL_.parent_path(), lockFileURL());
    if (!lock) return std::unexpected(lock.error());
    // Read again under the lock: what another writer saved meanwhile stays.
    auto current = read();
    if (!current) return std::unexpected(current.error());
    std::vector<Preset> merged = mergePresets(loaded, edited, *current);
    if (auto written = write(merged); !written) return std::unexpected(written.error());
    return merged;
}

std::expected<fs::path, PresetStoreError> PresetStore::backUpAndReset(const std::vector<Preset>& presets) {
    const fs::path backup =
        fileURL_.parent_path() / (std::string(backupPrefix) + settings::Uuid::random().text() + ".json");

    std::error_code error;
    if (!fs::is_regular_file(fileURL_, error))
        return std::unexpected(PresetStoreError::fileSystem(FileSystemError::missingFile(fileURL_)));
    auto lock = lockedFolder(fileURL_.parent_path(), lockFileURL());
    if (!lock) return std::unexpected(lock.error());
    // Exclusive: a backup never replaces anything, not even an older backup.
    if (auto copyError = platform::copyFileExclusively(fileURL_, backup))
        return std::unexpected(PresetStoreError::fileSystem({FileSystemError::Operation::copy, backup, copyError}));

    if (auto saved = write(presets); !saved) return std::unexpected(saved.error());
    return backup;
}

std::expected<std::vector<Preset>, PresetStoreError> InMemoryPresetStore::load() const {
    if (loadError) return std::unexpected(*loadError);
    return presets;
}

std::expected<void, PresetStoreError> InMemoryPresetStore::save(const std::vector<Preset>& list) {
    if (saveError) return std::unexpected(*saveError);
    presets = list;
    ++saveCount;
    return {};
}

}  // namespace veltrop::storage
