#include "app/presets/preset_library.h"

#include <gtest/gtest.h>

#include <memory>

using namespace veltrop;
using app::PresetLibrary;

namespace {

std::shared_ptr<storage::InMemoryPresetStore> unreadableStore() {
    auto store = std::make_shared<storage::InMemoryPresetStore>();
    store->loadError = storage::PresetStoreError::unreadable();
    return store;
}

TEST(PresetLibrary, AnUnreadableStoreRefusesEditsUntilRecovered) {
    auto store = unreadableStore();
    PresetLibrary library(store);
    library.load();
    EXPECT_EQ(library.presets(), storage::builtIns());
    EXPECT_TRUE(library.needsRecovery());
    EXPECT_EQ(library.message(), storage::PresetStoreError::unreadable().description());

    library.select(storage::timestampPresetID());
    const settings::StampConfiguration configuration;
    EXPECT_FALSE(library.saveAsNew("New", configuration));
    EXPECT_FALSE(library.updateSelected(configuration));
    EXPECT_FALSE(library.renameSelected("Other"));
    EXPECT_FALSE(library.deleteSelected());
    EXPECT_FALSE(library.restoreBuiltIns());
    EXPECT_EQ(store->saveCount, 0);  // the unreadable file is never written over

    // A store without a file cannot keep a backup, so nothing is reset.
    EXPECT_FALSE(library.recover());
    EXPECT_TRUE(library.needsRecovery());
    EXPECT_EQ(library.message(),
              "Presets were not reset: " + storage::PresetStoreError::recoveryUnavailable().description());

    PresetLibrary storeless(nullptr);
    storeless.load();
    EXPECT_FALSE(storeless.needsRecovery());
    EXPECT_FALSE(storeless.recover());  // nothing to recover
}

TEST(PresetLibrary, LabelNamesTheSelectionAndIgnoresAKeptProject) {
    PresetLibrary library(std::make_shared<storage::InMemoryPresetStore>());
    library.load();
    settings::StampConfiguration current = library.find(storage::watermarkPresetID())->configuration;
    EXPECT_EQ(library.label(current), "Custom");

    library.select(storage::watermarkPresetID());
    ASSERT_FALSE(library.find(storage::watermarkPresetID())->configuration.project);
    current.project = settings::defaultProject();  // kept from before the preset was applied
    EXPECT_EQ(library.label(current), "Watermark");
    current.removeGPS = !current.removeGPS;
    EXPECT_EQ(library.label(current), "Watermark (modified)");

    library.select(settings::Uuid::random());  // a preset that is gone
    EXPECT_EQ(library.label(current), "Custom");
}

}  // namespace
