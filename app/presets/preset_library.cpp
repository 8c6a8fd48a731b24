#include "app/presets/preset_library.h"

#include <algorithm>

namespace veltrop::app {

namespace {

std::string trimmed(const std::string& text) {
    const auto isSpace = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    auto begin = std::find_if_not(text.begin(), text.end(), isSpace);
    auto end = std::find_if_not(text.rbegin(), std::reverse_iterator(begin), isSpace).base();
    return std::string(begin, end);
}

}  // namespace

PresetLibrary::PresetLibrary(std::shared_ptr<storage::PresetStoring> store) : store_(std::move(store)) {}

void PresetLibrary::load() {
    if (!store_) {
        presets_ = storage::builtIns();
    } else if (auto loaded = store_->load()) {
        if (loaded->empty()) {
            presets_ = storage::builtIns();
            (void)store_->save(presets_);  // a first start without a writable folder still works
        } else {
            presets_ = std::move(*loaded);
        }
    } else {
        presets_ = storage::builtIns();
        message_ = loaded.error().description();
        needsRecovery_ = true;
    }
}

const settings::Preset* PresetLibrary::find(const settings::Uuid& id) const {
    auto found = std::find_if(presets_.begin(), presets_.end(), [&](const settings::Preset& p) { return p.id == id; });
    return found == presets_.end() ? nullptr : &*found;
}

void PresetLibrary::persist() {
    if (needsRecovery_ || !store_) return;
    auto saved = store_->save(presets_);
    message_ = saved ? std::nullopt : std::optional<std::string>(saved.error().description());
}

bool PresetLibrary::saveAsNew(const std::string& name, const settings::StampConfiguration& configuration) {
    if (needsRecovery_) return false;
    const std::string clean = trimmed(name);
    if (clean.empty()) return false;
    settings::Preset preset{settings::Uuid::random(), clean, configuration};
    presets_.push_back(preset);
    selectedID_ = preset.id;
    persist();
    return true;
}

bool PresetLibrary::updateSelected(const settings::StampConfiguration& configuration) {
    if (needsRecovery_ || !selectedID_) return false;
    bool updated = false;
    for (auto& preset : presets_) {
        if (preset.id == *selectedID_) {
            preset.configuration = configuration;
            updated = true;
        }
    }
    if (updated) persist();
    return updated;
}

bool PresetLibrary::renameSelected(const std::string& name) {
    if (needsRecovery_ || !selectedID_) return false;
    const std::string clean = trimmed(name);
    if (clean.empty()) return false;
    bool renamed = false;
    for (auto& preset : presets_) {
        if (preset.id == *selectedID_) {
            preset.name = clean;
            renamed = true;
        }
    }
    if (renamed) persist();
    return renamed;
}

bool PresetLibrary::deleteSelected() {
    if (needsRecovery_ || !selectedID_) return false;
    std::erase_if(presets_, [&](const settings::Preset& p) { return p.id == *selectedID_; });
    selectedID_.reset();
    persist();
    return true;
}

bool PresetLibrary::restoreBuiltIns() {
    if (needsRecovery_) return false;
    const auto& builtIns = storage::builtIns();
    std::erase_if(presets_, [&](const settings::Preset& p) {
        return std::any_of(builtIns.begin(), builtIns.end(), [&](const settings::Preset& b) { return b.id == p.id; });
    });
    presets_.insert(presets_.begin(), builtIns.begin(), builtIns.end());
    persist();
    return true;
}

bool PresetLibrary::recover() {
    if (!needsRecovery_) return false;
    if (!store_) {
        message_ = presetTexts::notReset + storage::PresetStoreError::recoveryUnavailable().description();
        return false;
    }
    auto backup = store_->backUpAndReset(presets_);
    if (!backup) {
        message_ = presetTexts::notReset + backup.error().description();
        return false;
    }
    backupLocation_ = *backup;
    needsRecovery_ = false;
    message_.reset();
    return true;
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
