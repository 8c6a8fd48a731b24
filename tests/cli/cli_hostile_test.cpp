// The command line against concurrent writers, FIFOs, processes killed
// while writing, and names that would hide the copies. Each program runs as
// a child with a kill timer, so that one that would hang fails instead.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstdio>
#include <thread>

#include "kit/platform/private_folder.h"
#include "kit/settings/settings_json.h"
#include "kit/storage/preset_store.h"
#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using namespace veltrop;
using namespace veltrop::testing;

namespace {

ProcessRun program(const std::vector<std::string>& arguments, std::function<void()> inChild = {}) {
    ProcessOptions options;
    options.inChild = std::move(inChild);
    return runBinary(arguments, options);
}

// An undated JPEG of noise, large enough that writing its copy takes many kilobytes.
void writePhoto(const fs::path& file) {
    ASSERT_EQ(makePhoto(file, {std::nullopt, "", "", "320x240", "plasma:fractal"}), "");
}

// In the child: files may grow to this many bytes; writing past it kills
// the program (SIGXFSZ), as a kill -9 in the middle of a write would.
std::function<void()> fileSizeLimit(rlim_t bytes) {
    return [bytes] {
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const rlimit limit{bytes, bytes};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
}

}  // namespace

// Two imports at the same moment, in separate processes: both presets stay.
TEST(CliHostile, ConcurrentImportsKeepBothPresets) {
    DataHome data;
    std::vector<fs::path> files;
    for (const char* name : {"Left", "Right"}) {
        const fs::path file = data.dir() / (std::string(name) + ".json");
        writeFile(file, *settings::encodePreset({settings::Uuid::random(), name, {}}));
        files.push_back(file);
    }
    constexpr int trials = 10;
    for (int trial = 0; trial < trials; ++trial) {
        fs::remove(data.presetsFile());
        ProcessRun left, right;
        std::thread first([&] { left = program({"presets", "import", files[0].string()}); });
        std::thread second([&] { right = program({"presets", "import", files[1].string()}); });
        first.join();
        second.join();
        ASSERT_EQ(left.status, 0) << left.err;
        ASSERT_EQ(right.status, 0) << right.err;
        auto stored = storage::PresetStore(data.presetsFile()).load();
        ASSERT_TRUE(stored);
        auto names = presetNames(*stored);
        std::sort(names.begin(), names.end());
        ASSERT_EQ(names, (std::vector<std::string>{"Left", "Right", "Timestamp", "Watermark"})) << "trial " << trial;
    }
}

// A FIFO never has a writer here: opening it for reading would wait for ever.
TEST(CliHostile, AFifoIsReportedAtOnceAndNamedInputsAreAllAccounted) {
    TempDir dir;
    const fs::path fifo = dir / "fifo.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    writePhoto(dir / "photo.jpg");
    const std::string reason = "Could not read fifo.jpg \u2014 it is not a regular file";

    const auto stamped = program({"stamp", fifo.string(), (dir / "out.jpg").string()});
    EXPECT_EQ(stamped.status, 1);
    EXPECT_TRUE(contains(stamped.err, reason)) << stamped.err;
    EXPECT_FALSE(fs::exists(dir / "out.jpg"));

    const auto inspected = program({"inspect", fifo.string()});
    EXPECT_LT(inspected.status, 128) << "inspect did not return";
    EXPECT_TRUE(contains(inspected.out, reason)) << inspected.out;

    const auto exported = program({"export", fifo.string(), (dir / "photo.jpg").string(), "--file-dates"});
    EXPECT_EQ(exported.status, 1) << exported.err;
    EXPECT_TRUE(contains(exported.out, "Stamped 1 \u00b7 Failed 1")) << exported.out;
    EXPECT_TRUE(contains(exported.out, "Failed: " + fifo.string() + " \u2014 " + reason)) << exported.out;
    EXPECT_TRUE(fs::exists(dir / "Timestamped/photo.jpg"));

    const auto nothing = program({"export", fifo.string()});
    EXPECT_EQ(nothing.status, 1);
    EXPECT_EQ(nothing.err, reason + "\nNo photos found.\n");

    // Settings files are read the same way.
    const auto configured = program({"stamp", "--config", fifo.string(), (dir / "photo.jpg").string(),
                                     (dir / "configured.jpg").string()});
    EXPECT_LT(configured.status, 128) << "stamp --config did not return";
    EXPECT_NE(configured.status, 0);
    EXPECT_TRUE(contains(configured.err, "it is not a regular file")) << configured.err;
}

// An export killed while writing a copy leaves its private folder with a
// partial JPEG; the next export into that folder removes it, but not the
// folder of an export that is still running.
TEST(CliHostile, AKilledExportsLeftoversAreRemovedByTheNextOne) {
    TempDir dir;
    const fs::path site = dir / "site";
    writePhoto(site / "a.jpg");
    writePhoto(site / "b.jpg");

    const auto killed = program({"export", site.string(), "--file-dates", "--jobs", "1"}, fileSizeLimit(2048));
    ASSERT_EQ(killed.status, 128 + SIGXFSZ) << killed.out << killed.err;
    const fs::path output = site / "Timestamped";
    const auto left = entryNames(output);
    ASSERT_EQ(left.size(), 1u);
    ASSERT_TRUE(left[0].starts_with(".veltrop-")) << left[0];
    ASSERT_TRUE(fs::exists(output / left[0] / "output.jpg"));

    auto running = platform::PrivateFolder::create(output, ".veltrop-0A1B2C3D-0000-4000-8000-0000000000BB");
    ASSERT_TRUE(running);
    const auto next = program({"export", site.string(), "--file-dates"});
    EXPECT_EQ(next.status, 0) << next.out << next.err;
    EXPECT_EQ(entryNames(output),
              (std::vector<std::string>{".veltrop-0A1B2C3D-0000-4000-8000-0000000000BB", "a.jpg", "b.jpg"}));
}

// The same for an exported preset: a program killed while writing it leaves
// no partial file under the name asked for.
TEST(CliHostile, AnExportedPresetAppearsWholeOrNotAtAll) {
    DataHome data;
    const fs::path file = data.dir() / "out" / "timestamp.json";
    fs::create_directories(file.parent_path());
    const auto killed = program({"presets", "export", "Timestamp", file.string()}, fileSizeLimit(64));
    EXPECT_EQ(killed.status, 128 + SIGXFSZ);
    EXPECT_FALSE(fs::exists(file));

    const auto written = program({"presets", "export", "Timestamp", file.string()});
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_EQ(settings::decodePreset(readFile(file))->name, "Timestamp");
    const auto again = program({"presets", "export", "Timestamp", file.string()});
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(contains(again.err, "existing files were preserved")) << again.err;
}

TEST(CliHostile, NamesThatWouldHideTheCopiesAreRefused) {
    TempDir dir;
    writePhoto(dir / "site" / "a.jpg");
    const auto run = program({"export", (dir / "site").string(), "--file-dates", "--prefix", ".", "--template",
                          "{reference}"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(contains(run.out, "Failed: " + (dir / "site" / "a.jpg").string() + " \u2014 Use a filename, "
                                  "subfolders, reference prefix and project title that do not begin with '.' "
                                  "\u2014 such copies would be hidden"))
        << run.out;
    EXPECT_FALSE(fs::exists(dir / "site" / "Timestamped"));
}

TEST(CliHostile, APresetFileWithADuplicateKeyIsRefused) {
    DataHome data;
    const fs::path file = data.dir() / "double.json";
    std::string text = *settings::encodePreset({settings::Uuid::random(), "Double", {}});
    text.insert(text.find("\"name\": \"Double\""), "\"name\": \"First\",\n  ");
    writeFile(file, text);
    const auto run = program({"presets", "import", file.string()});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Duplicate key \u201Cname\u201D at the top level\n");
    EXPECT_FALSE(fs::exists(data.presetsFile()));
}
