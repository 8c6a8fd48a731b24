#pragma once
// The presets of the settings pane: the list, the one chosen, and keeping
// them in their store. Plain C++ without Qt, so that the rules can be read
// and tested apart from the window; the model turns changes into signals.

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

    const settings::Preset* find(const settings::Uuid& id) const;
    void select(std::optional<settings::Uuid> id) { selectedID_ = std::move(id); }
    void setMessage(std::optional<std::string> message) { message_ = std::move(message); }

    // Each edit returns false and changes nothing while recovery is pending,
    // without a selection where one is needed, or for a blank name; names
    // are trimmed. After a change the list is saved, and a failure to save
    // becomes the message.
    bool saveAsNew(const std::string& name, const settings::StampConfiguration& configuration);  // and selects it
    bool updateSelected(const settings::StampConfiguration& configuration);
    bool renameSelected(const std::string& name);
    bool deleteSelected();  // and clears the selection
    // Puts the built-ins back at the top, replacing edited copies of them.
    bool restoreBuiltIns();
    // Backs up the unreadable file and starts afresh with the list in use;
    // false with the reason as the message when that is not possible.
    bool recover();

    // The selected preset's name, with " (modified)" when the configuration
    // differs from it, or "Custom" without a selection.
    std::string label(const settings::StampConfiguration& current) const;

private:
    void persist();

    std::shared_ptr<storage::PresetStoring> store_;
    std::vector<settings::Preset> presets_;
    std::optional<settings::Uuid> selectedID_;
    std::optional<std::string> message_;
    bool needsRecovery_ = false;
    std::optional<std::filesystem::path> backupLocation_;
};

}  // namespace veltrop::app
