#pragma once
// The presets of the settings pane: the list, the one chosen, and keeping
// them in their file, which the command line and other windows change too.
// Plain C++ without Qt, so that the rules can be read and tested apart from
// the window; the model turns the changes each call reports into signals.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kit/settings/preset.h"
#include "kit/settings/stamp_configuration.h"
#include "kit/storage/preset_store.h"

namespace veltrop::app {

namespace presetTexts {
inline constexpr const char* notReset = "Presets were not reset: ";
inline constexpr const char* custom = "Custom";
inline constexpr const char* modifiedSuffix = " (modified)";
}  // namespace presetTexts

// What a call changed, for the model to announce.
struct PresetChanges {
    bool list = false;
    bool selection = false;
    bool message = false;
    bool recovery = false;  // needsRecovery or backupLocation

    PresetChanges& operator|=(const PresetChanges& other);
    bool operator==(const PresetChanges&) const = default;
};

class PresetLibrary {
public:
    // Without a store the built-in presets are used and nothing is saved.
    explicit PresetLibrary(std::shared_ptr<storage::PresetStoring> store);

    // Reads the store; a first start gets the built-ins, saved at once. A
    // store that cannot be read leaves the built-ins in use, unsaved, and
    // asks for recovery.
    void load();

    bool hasStore() const { return store_ != nullptr; }
    const std::vector<settings::Preset>& presets() const { return presets_; }
    const std::optional<settings::Uuid>& selectedID() const { return selectedID_; }
    const std::optional<std::string>& message() const { return message_; }
    bool needsRecovery() const { return needsRecovery_; }
    const std::optional<std::filesystem::path>& backupLocation() const { return backupLocation_; }
    // The file other programs may change, when the store has one.
    std::optional<std::filesystem::path> watchedFile() const;

    const settings::Preset* find(const settings::Uuid& id) const;
    PresetChanges select(std::optional<settings::Uuid> id);
    PresetChanges dismissMessage();

    // Each edit changes nothing while recovery is pending, without a
    // selection where one is needed, or for a blank name; names are trimmed.
    // After a change the list is saved on top of what the file holds now,
    // keeping what others saved meanwhile; a failure to save becomes the
    // message, and the edit goes with the next save that succeeds.
    PresetChanges saveAsNew(const std::string& name, const settings::StampConfiguration& configuration);  // and selects it
    PresetChanges updateSelected(const settings::StampConfiguration& configuration);
    PresetChanges renameSelected(const std::string& name);
    PresetChanges deleteSelected();  // and clears the selection
    // Puts the built-ins back at the top, replacing edited copies of them.
    PresetChanges restoreBuiltIns();
    // Backs up the unreadable file and starts afresh with the list in use;
    // the reason becomes the message when that is not possible.
    PresetChanges recover();
    // Takes in what another program saved in the file, keeping this side's
    // unsaved edits; a selection removed there is cleared. An unusable file
    // is left for the next save to report.
    PresetChanges reload();

    // The selected preset's name, with " (modified)" when the configuration
    // differs from it, or "Custom" without a selection.
    std::string label(const settings::StampConfiguration& current) const;

private:
    PresetChanges setMessage(std::optional<std::string> message);
    PresetChanges persist();
    PresetChanges adopt(std::vector<settings::Preset> presets);

    std::shared_ptr<storage::PresetStoring> store_;
    std::vector<settings::Preset> presets_;
    // The file's content as last read or written here: what a save or a
    // reload compares against to tell this side's changes from others'.
    std::vector<settings::Preset> stored_;
    std::optional<settings::Uuid> selectedID_;
    std::optional<std::string> message_;
    bool needsRecovery_ = false;
    std::optional<std::filesystem::path> backupLocation_;
};

}  // namespace veltrop::app
