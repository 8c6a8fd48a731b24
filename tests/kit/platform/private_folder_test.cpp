#include "kit/platform/private_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>


#include "support/test_support.h"

namespace veltrop::platform {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

const std::string uuidA = "0A1B2C3D-0000-4000-8000-00000000000A", uuidB = "0A1B2C3D-0000-4000-8000-00000000000B",
                  uuidC = "0A1B2C3D-0000-4000-8000-00000000000C", uuidD = "0A1B2C3D-0000-4000-8000-00000000000D",
                  uuidE = "0A1B2C3D-0000-4000-8000-00000000000E";

void makeOlder(const fs::path& item, int hours) {
    const timespec times[2] = {{std::time(nullptr) - hours * 3600, 0}, {std::time(nullptr) - hours * 3600, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, item.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(PrivateFolder, IsLockedWhileItLivesAndLeavesNothingBehind) {
    TempDir dir;
    {
        auto folder = PrivateFolder::create(dir.path(), ".veltrop-" + uuidA);
        ASSERT_TRUE(folder);
        EXPECT_EQ(fs::status(folder->location()).permissions() & fs::perms::all, fs::perms::owner_all);
        EXPECT_EQ(testing::entryNames(folder->location()), std::vector<std::string>{"lock"});
        testing::writeFile(folder->file("output.jpg"), "partial");
        // Another run must leave it alone: its lock is held.
        EXPECT_EQ(removeAbandonedPrivateFolders(dir.path(), ".veltrop-"), 0u);
        EXPECT_TRUE(fs::exists(folder->file("output.jpg")));
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_FALSE(PrivateFolder::create(dir / "missing", ".veltrop-x"));
}

// What a later export finds in a folder it writes to, and what it removes.
TEST(PrivateFolder, OnlyAbandonedFoldersOfOursAreRemoved) {
    TempDir dir;
    const std::string prefix = ".veltrop-";
    testing::leaveKilledWriter(dir.path(), prefix + uuidA);  // removed: its writer is gone

    // Still being written by this process: kept.
    auto held = PrivateFolder::create(dir.path(), prefix + uuidB);
    ASSERT_TRUE(held);
    testing::writeFile(held->file("output.jpg"), "in progress");

    // Without a lock file (left by an older version): kept while recent, removed once old.
    testing::writeFile(dir / (prefix + uuidC) / "output.jpg", "old partial");
    makeOlder(dir / (prefix + uuidC), 48);
    testing::writeFile(dir / (prefix + uuidD) / "output.jpg", "recent partial");

    // Not ours, or not a folder we made: kept.
    testing::leaveKilledWriter(dir.path(), ".report-" + uuidE);
    testing::writeFile(dir / ".veltrop-notes" / "keep.txt", "mine");
    fs::create_directory(dir / "elsewhere");
    fs::create_directory_symlink(dir / "elsewhere", dir / (prefix + uuidE));
    testing::writeFile(dir / "photo.jpg", "a finished copy");

    EXPECT_EQ(removeAbandonedPrivateFolders(dir.path(), prefix), 2u);
    EXPECT_EQ(testing::entryNames(dir.path()), (std::vector<std::string>{".report-" + uuidE, prefix + uuidB, prefix + uuidD,
                                                           prefix + uuidE, ".veltrop-notes", "elsewhere", "photo.jpg"}));
    EXPECT_EQ(testing::readFile(held->file("output.jpg")), "in progress");

    // The reports' own folders go when their prefix is swept.
    EXPECT_EQ(removeAbandonedPrivateFolders(dir.path(), ".report-"), 1u);
    EXPECT_FALSE(fs::exists(dir / (".report-" + uuidE)));
}

TEST(PrivateFolder, PublishingNeverReplacesAndLeavesNoTemporaryFolder) {
    TempDir dir;
    const fs::path file = dir / "preset.json";
    EXPECT_FALSE(publishNewFile(file, "first", ".veltrop-" + uuidA, "preset.json"));
    EXPECT_EQ(publishNewFile(file, "second", ".veltrop-" + uuidB, "preset.json"), std::errc::file_exists);
    EXPECT_EQ(testing::readFile(file), "first");
    EXPECT_EQ(testing::entryNames(dir.path()), std::vector<std::string>{"preset.json"});
    EXPECT_TRUE(publishNewFile(dir / "missing" / "x.json", "x", ".veltrop-" + uuidC, "x.json"));
}

}  // namespace
}  // namespace veltrop::platform
