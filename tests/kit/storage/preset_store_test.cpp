#include "kit/storage/preset_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>

#include "kit/settings/settings_json.h"
#include "support/test_support.h"

namespace veltrop::storage {
namespace {

namespace fs = std::filesystem;
using settings::Preset;
using namespace testing;

Preset customPreset() {
    settings::StampConfiguration configuration = settings::defaultConfiguration();
    configuration.outputRoot = fs::path("/home/someone/My Photos/out");
    configuration.project = settings::PhotoProject{"Bridge survey", "Pier 4", "BR", 100, false, true};
    configuration.watermark = settings::defaultWatermark();
    configuration.watermark->source = settings::WatermarkSource::image(settings::WatermarkImageID::fresh());
    configuration.style.sizeFraction = 0.5;  // stored as held, clamped only where used
    return Preset{settings::Uuid::random(), "Site visit", configuration};
}

TEST(PresetStore, SavedPresetsLoadBackInOrderAsFormat2) {
    TempDir dir;
    PresetStore store(dir / "Veltrop" / "presets.json");
    EXPECT_EQ(store.load(), std::vector<Preset>{});
    EXPECT_FALSE(fs::exists(dir / "Veltrop"));  // loading never writes

    std::vector<Preset> presets = builtIns();
    presets.push_back(customPreset());
    ASSERT_TRUE(store.save(presets));
    EXPECT_EQ(store.load(), presets);
    EXPECT_EQ(settings::decodePresetDocument(readFile(store.fileURL()))->version, 2);
    // Writers take turns through the lock file beside it.
    EXPECT_EQ(testing::entryNames(dir / "Veltrop"), (std::vector<std::string>{"presets.json", "presets.json.lock"}));

    // A deleted folder is made again.
    fs::remove_all(dir / "Veltrop");
    ASSERT_TRUE(store.save(builtIns()));
    EXPECT_EQ(store.load(), builtIns());

    // An empty list and the older format load; saving writes format 2.
    writeFile(store.fileURL(), R"({"presets": [], "version": 2})");
    EXPECT_EQ(store.load(), std::vector<Preset>{});
    writeFile(store.fileURL(), *settings::encodePresetDocument({1, builtIns()}));
    ASSERT_EQ(store.load(), builtIns());
    ASSERT_TRUE(store.save(builtIns()));
    EXPECT_EQ(settings::decodePresetDocument(readFile(store.fileURL()))->version, 2);
}

// Every unusable file is reported and left exactly as it was until the user
// asks for recovery; recovery keeps a byte-identical copy.
TEST(PresetStore, UnusableFilesAreLeftUntouchedUntilRecovery) {
    struct Case {
        const char* label;
        std::string content;
        PresetStoreError expected;
        std::string text;
    };
    const std::string unreadable = "Your presets file could not be read";
    const std::vector<Case> cases = {
        // What makes a document unreadable is SettingsJson's.
        {"malformed JSON", R"({"presets": [)", PresetStoreError::unreadable(), unreadable},
        {"fractional version", R"({"presets": [], "version": 1.5})", PresetStoreError::unreadable(), unreadable},
        {"bad preset", R"({"presets": [{"id": "x", "name": "a"}], "version": 2})", PresetStoreError::unreadable(), unreadable},
        {"newer, same shape", R"({"presets": [], "version": 3})", PresetStoreError::unsupportedVersion(3),
         "Your presets were written by a newer version of Veltrop (format 3)"},
        // A newer program may reshape the file; it is still reported as newer.
        {"newer, new shape", R"({"version": 7, "sets": {}})", PresetStoreError::unsupportedVersion(7),
         "Your presets were written by a newer version of Veltrop (format 7)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        PresetStore store(dir / "presets.json");
        writeFile(store.fileURL(), c.content);

        EXPECT_EQ(store.load(), std::unexpected(c.expected));
        EXPECT_EQ(store.load(), std::unexpected(c.expected));
        EXPECT_EQ(store.load().error().description(), c.text);
        EXPECT_EQ(readFile(store.fileURL()), c.content);
        EXPECT_EQ(testing::entryNames(dir.path()), std::vector<std::string>{"presets.json"});

        auto backup = store.backUpAndReset(builtIns());
        ASSERT_TRUE(backup) << backup.error().description();
        EXPECT_EQ(backup->parent_path(), dir.path());
        EXPECT_EQ(readFile(*backup), c.content);
        EXPECT_EQ(store.load(), builtIns());
    }
}

TEST(PresetStore, EachBackupHasAFreshNameAndOlderBackupsStay) {
    TempDir dir;
    PresetStore store(dir / "presets.json");
    // A vanished file fails before anything is written.
    EXPECT_EQ(store.backUpAndReset(builtIns()).error().kind, PresetStoreError::Kind::fileSystem);
    EXPECT_TRUE(testing::entryNames(dir.path()).empty());

    writeFile(store.fileURL(), "first, damaged");
    auto first = store.backUpAndReset(builtIns());
    ASSERT_TRUE(first);
    std::vector<Preset> second = {customPreset()};
    auto secondBackup = store.backUpAndReset(second);
    ASSERT_TRUE(secondBackup);

    EXPECT_NE(*first, *secondBackup);
    for (const fs::path& backup : {*first, *secondBackup}) {
        const std::string name = backup.filename().string();
        ASSERT_TRUE(name.starts_with("presets-backup-") && name.ends_with(".json")) << name;
        const std::string uuid = name.substr(15, name.size() - 15 - 5);
        EXPECT_TRUE(settings::Uuid::parse(uuid));
        EXPECT_EQ(settings::Uuid::parse(uuid)->text(), uuid);  // upper case
    }
    EXPECT_EQ(readFile(*first), "first, damaged");
    EXPECT_EQ(PresetStore(*secondBackup).load(), builtIns());
    EXPECT_EQ(store.load(), second);
    EXPECT_EQ(testing::entryNames(dir.path()).size(), 4u);  // the file, two backups, the lock file
}

TEST(PresetStore, AFailedSaveKeepsThePreviousFileAndLeavesNoTemporaryFile) {
    TempDir dir;
    PresetStore store(dir / "presets.json");
    ASSERT_TRUE(store.save(builtIns()));
    const std::string before = readFile(store.fileURL());

    Preset broken = customPreset();
    broken.configuration.jpegQuality = std::numeric_limits<double>::quiet_NaN();
    auto result = store.save({broken});
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, PresetStoreError::Kind::encoding);
    EXPECT_EQ(readFile(store.fileURL()), before);

    if (::geteuid() != 0) {  // root writes into read-only folders anyway
        fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
        auto denied = store.save({customPreset()});
        fs::permissions(dir.path(), fs::perms::owner_all);
        ASSERT_FALSE(denied);
        EXPECT_EQ(denied.error().kind, PresetStoreError::Kind::fileSystem);
        EXPECT_EQ(denied.error().fileError->error, std::errc::permission_denied);
        EXPECT_EQ(readFile(store.fileURL()), before);
    }
    EXPECT_EQ(testing::entryNames(dir.path()), (std::vector<std::string>{"presets.json", "presets.json.lock"}));
}

TEST(PresetStore, StandardLocationFollowsTheDataFolderRules) {
    TempDir dir;
    const auto lookup = [](std::optional<std::string> dataHome, std::optional<std::string> home) {
        return [=](const char* name) -> std::optional<std::string> {
            return std::string_view(name) == "XDG_DATA_HOME" ? dataHome : std::string_view(name) == "HOME" ? home
                                                                                                               : std::nullopt;
        };
    };
    const std::string root = dir.path().string();
    EXPECT_EQ(PresetStore::standard(lookup(root + "/data", root))->fileURL(), dir / "data/Veltrop/presets.json");
    EXPECT_EQ(PresetStore::standard(lookup(std::nullopt, root))->fileURL(),
              dir / ".local/share/Veltrop/presets.json");
    EXPECT_TRUE(fs::is_directory(dir / ".local/share"));
    // A relative data folder is ignored.
    EXPECT_EQ(PresetStore::standard(lookup("relative", root))->fileURL(), dir / ".local/share/Veltrop/presets.json");
    auto absent = PresetStore::standard(lookup(std::nullopt, std::nullopt));
    ASSERT_FALSE(absent);
    EXPECT_EQ(absent.error().operation, FileSystemError::Operation::locate);
}

Preset named(const std::string& name) { return Preset{settings::Uuid::random(), name, settings::defaultConfiguration()}; }

Preset renamed(Preset preset, const std::string& name) {
    preset.name = name;
    return preset;
}

// Another program saved the file between this one's load and save: each
// side's change by id is kept.
TEST(PresetStore, ChangesMergeWithWhatAnotherProgramSaved) {
    const Preset a = named("A"), b = named("B"), c = named("C"), d = named("D"), e = named("E");
    struct Case {
        const char* label;
        std::vector<Preset> loaded, edited, current, merged;
    };
    const Case cases[] = {
        {"both add", {a, b}, {a, b, c}, {a, b, d}, {a, b, c, d}},
        {"they add in the middle", {a, b}, {a, b, c}, {a, d, b}, {a, d, b, c}},
        {"they add at the front", {a}, {a}, {d, a}, {d, a}},
        {"we remove, they add", {a, b}, {a}, {a, b, d}, {a, d}},
        {"they remove what we kept", {a, b}, {a, b, c}, {a}, {a, c}},
        {"they remove what we changed", {a, b}, {a, renamed(b, "B2")}, {a}, {a, renamed(b, "B2")}},
        {"they change, we keep", {a, b}, {a, b, c}, {a, renamed(b, "B3")}, {a, renamed(b, "B3"), c}},
        {"both change: ours wins", {a, b}, {a, renamed(b, "B2")}, {a, renamed(b, "B3")}, {a, renamed(b, "B2")}},
        {"first save on both sides", {}, {a, b, c}, {a, b, e}, {a, b, c, e}},
        {"nothing changed here", {a, b}, {a, b}, {b, e}, {b, e}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.label);
        EXPECT_EQ(mergePresets(test.loaded, test.edited, test.current), test.merged);

        TempDir dir;
        PresetStore store(dir / "presets.json");
        ASSERT_TRUE(store.save(test.current));
        auto saved = store.saveChanges(test.loaded, test.edited);
        ASSERT_TRUE(saved);
        EXPECT_EQ(*saved, test.merged);
        EXPECT_EQ(store.load(), test.merged);

        InMemoryPresetStore memory(test.current);
        EXPECT_EQ(memory.saveChanges(test.loaded, test.edited), test.merged);
    }

    // A file that became unusable meanwhile is left exactly as it is.
    TempDir dir;
    PresetStore store(dir / "presets.json");
    writeFile(store.fileURL(), R"({"version": 3})");
    EXPECT_EQ(store.saveChanges({}, {a}), std::unexpected(PresetStoreError::unsupportedVersion(3)));
    EXPECT_EQ(readFile(store.fileURL()), R"({"version": 3})");
}

// Writers in several threads, each through its own store as separate
// programs would be: every one loads, adds its preset and saves. With the
// lock and the re-read no preset is lost, in any of the trials.
TEST(PresetStore, ConcurrentWritersKeepEveryPreset) {
    constexpr int writers = 8;
    constexpr int trials = 5;
    for (int trial = 0; trial < trials; ++trial) {
        TempDir dir;
        const fs::path file = dir / "Veltrop" / "presets.json";
        ASSERT_TRUE(PresetStore(file).save(builtIns()));
        std::vector<Preset> added;
        for (int i = 0; i < writers; ++i) added.push_back(named("Writer " + std::to_string(i)));
        std::atomic<int> waiting{writers};
        std::vector<std::thread> threads;
        for (int i = 0; i < writers; ++i) {
            threads.emplace_back([&, i] {
                PresetStore store(file);
                auto loaded = store.load();
                ASSERT_TRUE(loaded);
                std::vector<Preset> edited = *loaded;
                edited.push_back(added[static_cast<std::size_t>(i)]);
                // Every writer has read before any writes.
                --waiting;
                while (waiting.load() > 0) std::this_thread::yield();
                ASSERT_TRUE(store.saveChanges(*loaded, edited));
            });
        }
        for (auto& thread : threads) thread.join();
        auto stored = PresetStore(file).load();
        ASSERT_TRUE(stored);
        ASSERT_EQ(stored->size(), builtIns().size() + writers) << "trial " << trial;
        for (const Preset& preset : added)
            EXPECT_NE(std::find(stored->begin(), stored->end(), preset), stored->end()) << preset.name;
    }
}

}  // namespace
}  // namespace veltrop::storage
