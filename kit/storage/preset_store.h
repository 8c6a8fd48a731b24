#pragma once
// The presets file: reading it at start, rewriting it atomically after every
// change, and backing it up before the user starts afresh. A file that cannot
// be used is never rewritten until the user asks for the backup.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "kit/settings/preset.h"
#include "kit/settings/settings_json.h"
#include "kit/storage/application_support.h"
#include "kit/storage/file_system_error.h"

namespace veltrop::storage {

struct PresetStoreError {
    enum class Kind {
        unsupportedVersion,   // version: the format number found
        unreadable,
        recoveryUnavailable,
        fileSystem,           // fileError: passed on unchanged, its text is the description
        encoding,             // codingError: a value that JSON cannot hold, e.g. a non-finite number
    };

    Kind kind = Kind::unreadable;
    std::int64_t version = 0;
    std::optional<FileSystemError> fileError;
    std::optional<settings::SettingsCodingError> codingError;

    static PresetStoreError unsupportedVersion(std::int64_t found) { return {Kind::unsupportedVersion, found, {}, {}}; }
    static PresetStoreError unreadable() { return {Kind::unreadable, 0, {}, {}}; }
    static PresetStoreError recoveryUnavailable() { return {Kind::recoveryUnavailable, 0, {}, {}}; }
    static PresetStoreError fileSystem(FileSystemError error) { return {Kind::fileSystem, 0, std::move(error), {}}; }
    static PresetStoreError encoding(settings::SettingsCodingError error) {
        return {Kind::encoding, 0, {}, std::move(error)};
    }

    std::string description() const;
    bool operator==(const PresetStoreError&) const = default;
};

// The two presets that always exist: "Timestamp" (the default configuration)
// and "Watermark" (no timestamp, the default text watermark). Their ids are
// fixed so that a remembered selection still finds them on another machine.
const std::vector<settings::Preset>& builtIns();
const settings::Uuid& timestampPresetID();
const settings::Uuid& watermarkPresetID();

// The list that results when the changes that turned loaded into edited are
// made to current, a newer content of the same file written by another
// program: presets are matched by id; one added on either side is kept, one
// removed on either side goes, unless the other side changed it; one changed
// here takes this side's value, else current's. The order is edited's, with
// presets that only current holds after the preset that precedes them there
// (and after what this side added behind that preset).
std::vector<settings::Preset> mergePresets(const std::vector<settings::Preset>& loaded,
                                           const std::vector<settings::Preset>& edited,
                                           const std::vector<settings::Preset>& current);

class PresetStoring {
public:
    virtual ~PresetStoring() = default;

    // The presets in file order; an empty list when there is no file yet.
    [[nodiscard]] virtual std::expected<std::vector<settings::Preset>, PresetStoreError> load() const = 0;
    [[nodiscard]] virtual std::expected<void, PresetStoreError> save(const std::vector<settings::Preset>& presets) = 0;
    // Saves the changes that turned loaded (what load returned earlier) into
    // edited on top of what the store holds now, which another program may
    // have changed since, and returns the list now stored (mergePresets).
    // A store that has become unusable meanwhile is left as it is.
    [[nodiscard]] virtual std::expected<std::vector<settings::Preset>, PresetStoreError> saveChanges(
        const std::vector<settings::Preset>& loaded, const std::vector<settings::Preset>& edited);
    // The file to watch for changes made by other programs, if there is one.
    virtual std::optional<std::filesystem::path> watchedFile() const { return std::nullopt; }
    // Keeps a copy of the current file under a fresh name, then saves presets;
    // returns the copy's location. Stores without a file cannot do this.
    [[nodiscard]] virtual std::expected<std::filesystem::path, PresetStoreError> backUpAndReset(
        const std::vector<settings::Preset>& presets) {
        (void)presets;
        return std::unexpected(PresetStoreError::recoveryUnavailable());
    }
};

// Writers of the same file take turns through an advisory lock on a file
// beside it, and re-read the file under the lock before changing it, so
// that the application and the command line never lose each other's presets.
class PresetStore final : public PresetStoring {
public:
    static constexpr const char* fileName = "presets.json";
    static constexpr const char* backupPrefix = "presets-backup-";
    static constexpr const char* lockSuffix = ".lock";

    explicit PresetStore(std::filesystem::path fileURL) : fileURL_(std::move(fileURL)) {}

    // presets.json in the Veltrop folder of the per-user data folder.
    [[nodiscard]] static std::expected<PresetStore, FileSystemError> standard(
        const EnvironmentLookup& environment = processEnvironment);

    const std::filesystem::path& fileURL() const { return fileURL_; }

    [[nodiscard]] std::expected<std::vector<settings::Preset>, PresetStoreError> load() const override;
    [[nodiscard]] std::expected<void, PresetStoreError> save(const std::vector<settings::Preset>& presets) override;
    [[nodiscard]] std::expected<std::vector<settings::Preset>, PresetStoreError> saveChanges(
        const std::vector<settings::Preset>& loaded, const std::vector<settings::Preset>& edited) override;
    [[nodiscard]] std::expected<std::filesystem::path, PresetStoreError> backUpAndReset(
        const std::vector<settings::Preset>& presets) override;
    std::optional<std::filesystem::path> watchedFile() const override { return fileURL_; }

    // presets.json.lock beside the file.
    std::filesystem::path lockFileURL() const;

private:
    // Each called with the lock held.
    [[nodiscard]] std::expected<void, PresetStoreError> write(const std::vector<settings::Preset>& presets);
    [[nodiscard]] std::expected<std::vector<settings::Preset>, PresetStoreError> read() const;

    std::filesystem::path fileURL_;
};

// A store without a file, for tests and for running without private storage.
// Its fields are open so that a test can arrange any state, including failures.
class InMemoryPresetStore final : public PresetStoring {
public:
    std::vector<settings::Preset> presets;
    std::optional<PresetStoreError> loadError;
    std::optional<PresetStoreError> saveError;
    int saveCount = 0;

    InMemoryPresetStore() = default;
    explicit InMemoryPresetStore(std::vector<settings::Preset> initial) : presets(std::move(initial)) {}

    [[nodiscard]] std::expected<std::vector<settings::Preset>, PresetStoreError> load() const override;
    [[nodiscard]] std::expected<void, PresetStoreError> save(const std::vector<settings::Preset>& list) override;
};

}  // namespace veltrop::storage
