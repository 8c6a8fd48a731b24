// The preset rules of the settings pane, without Qt: edits against a file
// that others change too, the selection, and recovery from an unusable file.

#include "app/presets/preset_library.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/test_support.h"

using namespace veltrop;
using app::PresetChanges;
using app::PresetLibrary;
using namespace veltrop::testing;

namespace {

settings::Preset preset(const std::string& name) {
    return {settings::Uuid::random(), name, settings::defaultConfiguration()};
}

TEST(PresetLibrary, AChangedFileIsMergedKeepingBothSidesEdits) {
    const settings::Preset site = preset("Site");
    const settings::Preset pier = preset("Pier");
    const auto& builtIns = storage::builtIns();
    auto store = std::make_shared<storage::InMemoryPresetStore>(
        std::vector<settings::Preset>{builtIns[0], builtIns[1], site, pier});
    PresetLibrary library(store);
    library.load();
    library.select(site.id);

    // An edit here that could not be saved stays, with the reason shown.
    store->saveError = storage::PresetStoreError::unreadable();
    EXPECT_EQ(library.renameSelected("Site 2"), (PresetChanges{.list = true, .message = true}));
    store->saveError.reset();

    // Meanwhile another program renamed one preset and added another.
    store->presets[3].name = "Pier 4";
    store->presets.push_back(preset("Imported"));
    const std::vector<std::string> both{"Timestamp", "Watermark", "Site 2", "Pier 4", "Imported"};
    EXPECT_EQ(library.reload(), PresetChanges{.list = true});
    EXPECT_EQ(presetNames(library.presets()), both);
    EXPECT_EQ(library.selectedID(), site.id);
    EXPECT_EQ(presetNames(store->presets), (std::vector<std::string>{"Timestamp", "Watermark", "Site", "Pier 4", "Imported"}));
    EXPECT_EQ(library.reload(), PresetChanges{}) << "an unchanged file changes nothing";

    // The next save carries this side's edit into the file, beside the other's.
    EXPECT_EQ(library.updateSelected(settings::defaultConfiguration()), (PresetChanges{.list = true, .message = true}));
    EXPECT_EQ(presetNames(store->presets), both);
    EXPECT_FALSE(library.message());
}

// Deleting it here is AppModelPresets' and PresetBar's.
TEST(PresetLibrary, APresetDeletedElsewhereClearsTheSelection) {
    const settings::Preset site = preset("Site");
    auto store = std::make_shared<storage::InMemoryPresetStore>(std::vector<settings::Preset>{storage::builtIns()[0], site});
    PresetLibrary library(store);
    library.load();
    EXPECT_EQ(library.select(site.id), PresetChanges{.selection = true});
    store->presets.pop_back();
    EXPECT_EQ(library.reload(), (PresetChanges{.list = true, .selection = true}));
    EXPECT_FALSE(library.selectedID());
    EXPECT_EQ(library.label(site.configuration), "Custom");
    EXPECT_EQ(presetNames(library.presets()), std::vector<std::string>{"Timestamp"});
    EXPECT_EQ(library.deleteSelected(), PresetChanges{}) << "nothing is selected any more";
}

TEST(PresetLibrary, AnUnusableFileRefusesEditsUntilRecovered) {
    TempDir dir;
    const auto file = dir / "presets.json";
    const std::string newer = R"({"version": 3, "presets": [{"future": true}]})";
    writeFile(file, newer);
    PresetLibrary library(std::make_shared<storage::PresetStore>(file));
    library.load();
    EXPECT_TRUE(library.needsRecovery());
    EXPECT_EQ(library.presets(), storage::builtIns());
    EXPECT_EQ(library.message(), storage::PresetStoreError::unsupportedVersion(3).description());

    library.select(storage::timestampPresetID());
    const settings::StampConfiguration configuration = settings::defaultConfiguration();
    EXPECT_EQ(library.saveAsNew("New", configuration), PresetChanges{});
    EXPECT_EQ(library.updateSelected(configuration), PresetChanges{});
    EXPECT_EQ(library.renameSelected("Other"), PresetChanges{});
    EXPECT_EQ(library.deleteSelected(), PresetChanges{});
    EXPECT_EQ(library.restoreBuiltIns(), PresetChanges{});
    EXPECT_EQ(library.reload(), PresetChanges{});
    EXPECT_EQ(readFile(file), newer) << "the file is never written over";

    EXPECT_EQ(library.recover(), (PresetChanges{.message = true, .recovery = true}));
    ASSERT_TRUE(library.backupLocation());
    EXPECT_EQ(readFile(*library.backupLocation()), newer);
    EXPECT_FALSE(library.needsRecovery());
    EXPECT_EQ(library.saveAsNew("Mine", configuration).list, true);
    EXPECT_EQ(presetNames(*storage::PresetStore(file).load()),
              (std::vector<std::string>{"Timestamp", "Watermark", "Mine"}));

    // A store without a file keeps no backup, so nothing is reset.
    auto memory = std::make_shared<storage::InMemoryPresetStore>();
    memory->loadError = storage::PresetStoreError::unreadable();
    PresetLibrary unbacked(memory);
    unbacked.load();
    EXPECT_EQ(unbacked.recover(), PresetChanges{.message = true});
    EXPECT_TRUE(unbacked.needsRecovery());
    EXPECT_EQ(unbacked.message(),
              "Presets were not reset: " + storage::PresetStoreError::recoveryUnavailable().description());
    EXPECT_EQ(memory->saveCount, 0);
}

}  // namespace
