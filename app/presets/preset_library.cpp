#include "app/presets/preset_library.h"

#include <algorithm>

#include "kit/dates/text.h"

namespace veltrop::app {

PresetChanges& PresetChanges::operator|=(const PresetChanges& other) {
    list = list || other.list;
    selection = selection || other.selection;
    message = message || other.message;
    recovery = recovery || other.recovery;
    return *this;
}

PresetLibrary::PresetLibrary(std::shared_ptr<storage::PresetStoring> store) : store_(std::move(store)) {}

void PresetLibrary::load() {
    if (!store_) {
        presets_ = storage::builtIns();
    } else if (auto loaded = store_->load()) {
        stored_ = *loaded;
        if (loaded->empty()) {
            presets_ = storage::builtIns();
            // A first start without a writable folder still works.
            if (auto saved = store_->saveChanges(stored_, presets_)) {
                stored_ = *saved;
                presets_ = std::move(*saved);
            }
        } else {
            presets_ = std::move(*loaded);
        }
    } else {
        presets_ = storage::builtIns();
        message_ = loaded.error().description();
        needsRecovery_ = true;
    }
}

std::optional<std::filesystem::path> PresetLibrary::watchedFile() const {
    return store_ ? store_->watchedFile() : std::nullopt;
}

const settings::Preset* PresetLibrary::find(const settings::Uuid& id) const {
    auto found = std::find_if(presets_.begin(), presets_.end(), [&](const settings::Preset& p) { return p.id == id; });
    return found == presets_.end() ? nullptr : &*found;
}

PresetChanges PresetLibrary::select(std::optional<settings::Uuid> id) {
    if (id == selectedID_) return {};
    selectedID_ = std::move(id);
    return {.selection = true};
}

PresetChanges PresetLibrary::dismissMessage() { return setMessage(std::nullopt); }

PresetChanges PresetLibrary::setMessage(std::optional<std::string> message) {
    if (message == message_) return {};
    message_ = std::move(message);
    return {.message = true};
}

PresetChanges PresetLibrary::persist() {
    if (needsRecovery_ || !store_) return {};
    auto saved = store_->saveChanges(stored_, presets_);
    // A file another program made unusable meanwhile is not written over;
    // the changes stay here and go with the next save that succeeds.
    if (!saved) return setMessage(saved.error().description());
    stored_ = *saved;
    PresetChanges changes = setMessage(std::nullopt);
    changes |= adopt(std::move(*saved));
    return changes;
}

PresetChanges PresetLibrary::adopt(std::vector<settings::Preset> presets) {
    if (presets == presets_) return {};
    presets_ = std::move(presets);
    PresetChanges changes{.list = true};
    // Removed elsewhere: the settings stay as they are, now without a preset.
    if (selectedID_ && !find(*selectedID_)) changes |= select(std::nullopt);
    return changes;
}

PresetChanges PresetLibrary::saveAsNew(const std::string& name, const settings::StampConfiguration& configuration) {
    if (needsRecovery_) return {};
    // Trimmed like every other text the user types.
    const std::string clean = dates::trimmed(name);
    if (clean.empty()) return {};
    settings::Preset preset{settings::Uuid::random(), clean, configuration};
    presets_.push_back(preset);
    PresetChanges changes{.list = true};
    changes |= select(preset.id);
    changes |= persist();
    return changes;
}

PresetChanges PresetLibrary::updateSelected(const settings::StampConfiguration& configuration) {
    if (needsRecovery_ || !selectedID_) return {};
    bool updated = false;
    for (auto& preset : presets_) {
        if (preset.id == *selectedID_) {
            preset.configuration = configuration;
            updated = true;
        }
    }
    if (!updated) return {};
    PresetChanges changes{.list = true};
    changes |= persist();
    return changes;
}

PresetChanges PresetLibrary::renameSelected(const std::string& name) {
    if (needsRecovery_ || !selectedID_) return {};
    const std::string clean = dates::trimmed(name);
    if (clean.empty()) return {};
    bool renamed = false;
    for (auto& preset : presets_) {
        if (preset.id == *selectedID_) {
            preset.name = clean;
            renamed = true;
        }
    }
    if (!renamed) return {};
    PresetChanges changes{.list = true};
    changes |= persist();
    return changes;
}

PresetChanges PresetLibrary::deleteSelected() {
    if (needsRecovery_ || !selectedID_) return {};
    const settings::Uuid id = *selectedID_;
    std::erase_if(presets_, [&](const settings::Preset& p) { return p.id == id; });
    PresetChanges changes{.list = true};
    changes |= select(std::nullopt);
    changes |= persist();
    return changes;
}

PresetChanges PresetLibrary::restoreBuiltIns() {
    if (needsRecovery_) return {};
    const auto& builtIns = storage::builtIns();
    std::erase_if(presets_, [&](const settings::Preset& p) {
        return std::any_of(builtIns.begin(), builtIns.end(), [&](const settings::Preset& b) { return b.id == p.id; });
    });
    presets_.insert(presets_.begin(), builtIns.begin(), builtIns.end());
    PresetChanges changes{.list = true};
    changes |= persist();
    return changes;
}

PresetChanges PresetLibrary::recover() {
    if (!needsRecovery_) return {};
    if (!store_)
        return setMessage(presetTexts::notReset + storage::PresetStoreError::recoveryUnavailable().description());
    auto backup = store_->backUpAndReset(presets_);
    if (!backup) return setMessage(presetTexts::notReset + backup.error().description());
    backupLocation_ = *backup;
    stored_ = presets_;
    needsRecovery_ = false;
    PresetChanges changes{.recovery = true};
    changes |= setMessage(std::nullopt);
    return changes;
}

PresetChanges PresetLibrary::reload() {
    if (needsRecovery_ || !store_) return {};
    auto loaded = store_->load();
    if (!loaded || *loaded == stored_) return {};
    std::vector<settings::Preset> merged = storage::mergePresets(stored_, presets_, *loaded);
    stored_ = std::move(*loaded);
    return adopt(std::move(merged));
}

std::string PresetLibrary::label(const settings::StampConfiguration& current) const {
    const settings::Preset* preset = selectedID_ ? find(*selectedID_) : nullptr;
    if (!preset) return presetTexts::custom;
    // A preset without project data was applied with the project kept, so that
    // project does not count as a change.
    settings::StampConfiguration applied = preset->configuration;
    if (!applied.project) applied.project = current.project;
    return applied == current ? preset->name : preset->name + presetTexts::modifiedSuffix;
}

}  // namespace veltrop::app
