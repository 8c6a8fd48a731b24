// AppModel's watermark image and presets, the parts of the settings pane
// that keep files of their own.
#include "app/model/app_model.h"

#include <algorithm>
#include <system_error>

#include "app/model/model_thread.h"
#include "kit/settings/stamp_format.h"

namespace veltrop::app {

namespace fs = std::filesystem;
using settings::StampConfiguration;

namespace {

bool isBuiltInFormat(const settings::StampFormat& format) {
    const auto formats = settings::builtInFormats();
    return std::find(formats.begin(), formats.end(), format) != formats.end();
}

}  // namespace

// ---------------------------------------------------------------- watermark

void AppModel::chooseWatermarkImage() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (!watermarkStore_ || !interaction_) return;
    auto picked = interaction_->chooseWatermarkImage();
    if (!picked) return;
    auto id = watermarkStore_->importImage(*picked);
    if (!id) {
        setWatermarkMessage(id.error().description());
        return;
    }
    auto image = watermarkStore_->loadImage(*id);
    if (!image) {
        setWatermarkMessage(image.error().description());
        return;
    }
    StampConfiguration next = configuration_;
    if (!next.watermark) next.watermark = settings::defaultWatermark();
    next.watermark->source = settings::WatermarkSource::image(*id);
    watermarkImage_ = std::move(*image);
    watermarkImageName_ = picked->filename().string();
    watermarkNameBelongsTo_ = *id;
    watermarkMessage_.reset();
    announce(&AppModel::watermarkChanged);
    setConfiguration(next);
}

void AppModel::setWatermarkEnabled(bool enabled) {
    VELTROP_ASSERT_MODEL_THREAD();
    if (enabled == configuration_.watermark.has_value()) return;
    StampConfiguration next = configuration_;
    if (enabled)
        next.watermark = settings::defaultWatermark();
    else
        next.watermark.reset();
    configuration_ = next;
    announce(&AppModel::configurationChanged);
    loadWatermarkForConfiguration();
    refreshPreview();
}

void AppModel::useTextWatermark() {
    VELTROP_ASSERT_MODEL_THREAD();
    StampConfiguration next = configuration_;
    if (!next.watermark) next.watermark = settings::defaultWatermark();
    const std::string* text = next.watermark->source.textValue();
    next.watermark->source = settings::WatermarkSource::text(text ? *text : std::string());
    watermarkImage_.reset();
    watermarkImageName_.reset();
    watermarkNameBelongsTo_.reset();
    watermarkMessage_.reset();
    announce(&AppModel::watermarkChanged);
    if (next != configuration_)
        setConfiguration(next);
    else
        refreshPreview();
}

void AppModel::loadWatermarkForConfiguration() {
    VELTROP_ASSERT_MODEL_THREAD();
    const settings::WatermarkImageID* id =
        configuration_.watermark ? configuration_.watermark->source.imageValue() : nullptr;
    if (!id) {
        watermarkImage_.reset();
        watermarkImageName_.reset();
        watermarkNameBelongsTo_.reset();
        watermarkMessage_.reset();  // nothing can be missing any more
        announce(&AppModel::watermarkChanged);
        return;
    }
    // The picked file's name only describes the image it was picked for.
    if (watermarkNameBelongsTo_ != *id) {
        watermarkImageName_.reset();
        watermarkNameBelongsTo_.reset();
    }
    auto image = watermarkStore_ ? watermarkStore_->loadImage(*id)
                                 : std::expected<image::Bitmap, storage::WatermarkStoreError>(
                                       std::unexpected(storage::WatermarkStoreError::imageNotFound(*id)));
    if (image) {
        watermarkImage_ = std::move(*image);
        watermarkMessage_.reset();
    } else {
        watermarkImage_.reset();
        watermarkMessage_ = modelTexts::watermarkMissing;
    }
    announce(&AppModel::watermarkChanged);
}

// ---------------------------------------------------------------- presets

void AppModel::loadPresets() {
    presets_.load();
    announce(&AppModel::presetsChanged);

    std::optional<settings::Uuid> remembered;
    if (defaults_) remembered = settings::Uuid::parse(defaults_->value(modelTexts::lastPresetKey).toString().toStdString());
    if (remembered && presets_.find(*remembered))
        applyPreset(*remembered);
    else if (!presets_.presets().empty())
        applyPreset(presets_.presets().front().id);
}

void AppModel::announcePresets(const PresetChanges& changes) {
    if (changes.list) {
        announce(&AppModel::presetsChanged);
        // A save replaces the file by renaming another over it.
        watchPresetsFile();
    }
    if (changes.selection) {
        if (defaults_) {
            if (const auto& selected = presets_.selectedID())
                defaults_->setValue(modelTexts::lastPresetKey, QString::fromStdString(selected->text()));
            else
                defaults_->remove(modelTexts::lastPresetKey);
        }
        announce(&AppModel::selectedPresetChanged);
    }
    if (changes.recovery) announce(&AppModel::presetRecoveryChanged);
    if (changes.message) announce(&AppModel::presetMessageChanged);
}

void AppModel::reloadChangedPresets() {
    VELTROP_ASSERT_MODEL_THREAD();
    watchPresetsFile();
    announcePresets(presets_.reload());
}

void AppModel::watchPresetsFile() {
    const auto file = presets_.watchedFile();
    if (!file) return;
    // The folder too, because a save replaces the file by renaming another over it.
    for (const fs::path& item : {file->parent_path(), *file}) {
        const QString path = QString::fromStdString(item.string());
        std::error_code error;
        if (fs::exists(item, error) && !presetsWatcher_.directories().contains(path) &&
            !presetsWatcher_.files().contains(path))
            presetsWatcher_.addPath(path);
    }
}

void AppModel::applyPreset(const settings::Uuid& id) {
    VELTROP_ASSERT_MODEL_THREAD();
    const settings::Preset* preset = presets_.find(id);
    if (!preset) return;
    const StampConfiguration previous = configuration_;
    StampConfiguration next = preset->configuration;
    if (!next.project) next.project = configuration_.project;
    configuration_ = next;
    announce(&AppModel::configurationChanged);

    announcePresets(presets_.select(id));

    usingCustomFormat_ = !isBuiltInFormat(next.format);
    customPattern_ = next.format.pattern;
    announce(&AppModel::formatChanged);

    loadWatermarkForConfiguration();
    if (next.outputRoot != previous.outputRoot) restoreOutputAccess();
    if (next.outputRoot != previous.outputRoot || next.includeSubfolders != previous.includeSubfolders)
        rediscover();
    else
        refreshPreview();
}

void AppModel::saveAsNewPreset(const std::string& name) {
    VELTROP_ASSERT_MODEL_THREAD();
    announcePresets(presets_.saveAsNew(name, configuration_));
}

void AppModel::updateSelectedPreset() {
    VELTROP_ASSERT_MODEL_THREAD();
    announcePresets(presets_.updateSelected(configuration_));
}

void AppModel::renameSelectedPreset(const std::string& name) {
    VELTROP_ASSERT_MODEL_THREAD();
    announcePresets(presets_.renameSelected(name));
}

void AppModel::deleteSelectedPreset() {
    VELTROP_ASSERT_MODEL_THREAD();
    announcePresets(presets_.deleteSelected());
}

void AppModel::restoreBuiltInPresets() {
    VELTROP_ASSERT_MODEL_THREAD();
    announcePresets(presets_.restoreBuiltIns());
}

void AppModel::recoverPresets() {
    VELTROP_ASSERT_MODEL_THREAD();
    announcePresets(presets_.recover());
}

void AppModel::dismissPresetMessage() {
    VELTROP_ASSERT_MODEL_THREAD();
    announcePresets(presets_.dismissMessage());
}

void AppModel::showPresetBackup() {
    VELTROP_ASSERT_MODEL_THREAD();
    if (const auto& backup = presets_.backupLocation()) reveal({*backup});
}

}  // namespace veltrop::app
