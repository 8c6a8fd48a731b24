// The application and the command line share one presets file: the window
// takes in changes made behind its back (what the next save keeps is
// PresetLibrary's).

#include <gtest/gtest.h>

#include "app_test_support.h"
#include "kit/storage/preset_store.h"

using namespace veltrop;
using veltrop::app::AppModel;
using namespace veltrop::testing;
namespace fs = std::filesystem;

namespace {

// What `veltrop-cli presets import` does: load, add one, save the change.
void importElsewhere(const fs::path& file, const std::string& name) {
    storage::PresetStore store(file);
    auto loaded = store.load();
    ASSERT_TRUE(loaded);
    auto edited = *loaded;
    edited.push_back({settings::Uuid::random(), name, settings::defaultConfiguration()});
    ASSERT_TRUE(store.saveChanges(*loaded, edited));
}

}  // namespace

TEST(AppModelPresets, AChangedFileIsTakenInKeepingUnsavedEdits) {
    ModelHarness harness;
    const fs::path file = harness.dir / "store" / "presets.json";
    auto store = std::make_shared<storage::PresetStore>(file);
    AppModel& model = harness.make(store);
    model.saveAsNewPreset("Site");
    settings::StampConfiguration edited = model.configuration();
    edited.jpegQuality = 0.5;  // not saved into the preset
    model.setConfiguration(edited);
    ASSERT_EQ(model.presetLabel(), "Site (modified)");

    // Noticed by the window's watch on the folder, without any action here.
    importElsewhere(file, "Imported");
    ASSERT_TRUE(waitFor([&] { return model.presets().size() == 4; }, 10000)) << "the change was not noticed";
    EXPECT_EQ(presetNames(model.presets()), (std::vector<std::string>{"Timestamp", "Watermark", "Site", "Imported"}));
    EXPECT_EQ(model.configuration(), edited);
    EXPECT_EQ(model.presetLabel(), "Site (modified)");
}
