#include "kit/storage/folder_access.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include "kit/storage/base64.h"
#include "support/test_support.h"

namespace veltrop::storage {
namespace {

namespace fs = std::filesystem;
using namespace testing;

nlohmann::json bookmarkFile(const FolderAccessStore& store) { return nlohmann::json::parse(readFile(store.fileURL())); }

detail::Bookmark storedBookmark(const FolderAccessStore& store, const fs::path& folder) {
    const std::string text = bookmarkFile(store).at(folder.string()).get<std::string>();
    return *detail::decodeBookmark(*detail::base64Decode(text));
}

std::uint64_t inodeOf(const fs::path& item) {
    struct stat info {};
    ::stat(item.c_str(), &info);
    return info.st_ino;
}

// Replaces a folder by a new one at the same path; the new one is made while
// the old one still exists, so the two cannot share an inode.
void replaceFolder(const fs::path& folder) {
    const fs::path replacement = folder.string() + ".new";
    fs::create_directory(replacement);
    fs::remove_all(folder);
    fs::rename(replacement, folder);
}

TEST(ScopedFileAccess, StartsOnlyForAReachableLocationAndHoldsNothingOpen) {
    TempDir dir;
    EXPECT_FALSE(ScopedFileAccess(dir / "absent").started());

    writeFile(dir / "a.jpg", "x");
    fs::create_directory(dir / "folder");
    const std::size_t before = testing::openHandleCount();
    std::vector<ScopedFileAccess> held;
    for (int i = 0; i < 500; ++i) held.emplace_back(i % 2 ? dir / "a.jpg" : dir / "folder");
    EXPECT_EQ(testing::openHandleCount(), before);
    EXPECT_TRUE(held.front().started());
    EXPECT_TRUE(held[1].started());
}

TEST(FolderAccessStore, RemembersRestoresAndRefreshesAFolder) {
    TempDir dir;
    fs::create_directory(dir / "out");
    fs::create_directory(dir / "other");
    FolderAccessStore store(dir / "Veltrop" / "folder-access.json");
    ASSERT_TRUE(store.remember(dir / "other"));
    ASSERT_TRUE(store.remember(dir / "sub" / ".." / "out" / "."));
    auto access = store.restoreAccess(dir / "out");
    ASSERT_TRUE(access) << access.error().description();
    ASSERT_TRUE(access->has_value());
    EXPECT_TRUE((*access)->started());
    EXPECT_EQ((*access)->url(), dir / "out");

    // Keyed by the standardised path.
    EXPECT_EQ(bookmarkFile(store).size(), 2u);
    EXPECT_EQ(storedBookmark(store, dir / "out").inode, inodeOf(dir / "out"));

    // A folder replaced since: restoring refreshes its bookmark, remembering
    // again keeps one newer entry.
    for (const bool restore : {true, false}) {
        const std::uint64_t oldInode = inodeOf(dir / "out");
        replaceFolder(dir / "out");
        ASSERT_NE(inodeOf(dir / "out"), oldInode);
        if (restore) {
            access = store.restoreAccess(dir / "out");
            ASSERT_TRUE(access && access->has_value());
            EXPECT_TRUE((*access)->started());
        } else {
            ASSERT_TRUE(store.remember(dir / "out"));
        }
        EXPECT_EQ(bookmarkFile(store).size(), 2u);
        EXPECT_EQ(storedBookmark(store, dir / "out").inode, inodeOf(dir / "out"));
    }
    // A fresh bookmark leaves the file alone; so does a folder replaced by a file, or removed.
    const std::string before = readFile(store.fileURL());
    ASSERT_TRUE(store.restoreAccess(dir / "out"));
    EXPECT_EQ(readFile(store.fileURL()), before);
    fs::remove(dir / "out");
    writeFile(dir / "out", "now a file");
    EXPECT_EQ(store.restoreAccess(dir / "out").error(), FileSystemError::missingFile(dir / "out"));
    fs::remove(dir / "out");
    EXPECT_EQ(store.restoreAccess(dir / "out").error().error, std::errc::no_such_file_or_directory);
    EXPECT_EQ(readFile(store.fileURL()), before);
}

TEST(FolderAccessStore, MissingFileIsEmptyAndDamagedFileFailsBothOperations) {
    TempDir dir;
    fs::create_directory(dir / "out");
    FolderAccessStore store(dir / "folder-access.json");
    auto nothing = store.restoreAccess(dir / "out");
    ASSERT_TRUE(nothing);
    EXPECT_FALSE(nothing->has_value());
    EXPECT_FALSE(fs::exists(store.fileURL()));

    for (const char* content : {"{not json", "[]", R"({"/x": 3})"}) {
        SCOPED_TRACE(content);
        writeFile(store.fileURL(), content);
        auto restored = store.restoreAccess(dir / "out");
        ASSERT_FALSE(restored);
        EXPECT_EQ(restored.error().operation, FileSystemError::Operation::decode);
        EXPECT_FALSE(store.remember(dir / "out"));
        EXPECT_EQ(readFile(store.fileURL()), content);  // not replaced by a fresh map
    }

    writeFile(store.fileURL(), nlohmann::json{{(dir / "out").string(), "not base64!"}}.dump());
    EXPECT_FALSE(store.restoreAccess(dir / "out"));

    // A missing folder is not remembered.
    fs::remove(store.fileURL());
    EXPECT_FALSE(store.remember(dir / "absent"));
    EXPECT_FALSE(fs::exists(store.fileURL()));
}

TEST(ExportFolderAccess, ProbeCreatesTheFolderAndLeavesNothingBehind) {
    TempDir dir;
    ASSERT_TRUE(ExportFolderAccess::probeWritable(dir / "new" / "out"));
    EXPECT_TRUE(fs::is_empty(dir / "new" / "out"));

    if (::geteuid() == 0) return;  // root can write into read-only folders
    fs::permissions(dir / "new" / "out", fs::perms::owner_read | fs::perms::owner_exec);
    auto result = ExportFolderAccess::probeWritable(dir / "new" / "out");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().error, std::errc::permission_denied);
    EXPECT_TRUE(result.error().location.filename().string().starts_with(".veltrop-access-"));
    EXPECT_TRUE(fs::is_empty(dir / "new" / "out"));
}

TEST(ExportFolderAccess, NeedsAnOutputFolderOnlyForFilesOutsideDroppedFolders) {
    TempDir dir;
    for (const char* file : {"a/b/in.jpg", "a/bc/x.jpg", "loose.jpg"}) writeFile(dir / file, "x");
    const fs::path b = dir / "a" / "b";
    struct Case {
        const char* label;
        std::vector<fs::path> dropped;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"nothing", {}, false},
        {"only a folder", {b}, false},
        {"photo inside the dropped folder", {b, b / "in.jpg"}, false},
        {"photo inside, folder with trailing slash", {fs::path(b.string() + "/"), b / "in.jpg"}, false},
        {"photo from elsewhere", {b, dir / "loose.jpg"}, true},
        {"a lone photo", {dir / "loose.jpg"}, true},
        {"sibling with a longer name", {b, dir / "a" / "bc" / "x.jpg"}, true},
        {"photo reached through ..", {b, dir / "a" / "bc" / ".." / "b" / "in.jpg"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(ExportFolderAccess::needsChosenOutputFolder(c.dropped), c.expected);
    }
}

TEST(Base64, RoundTripsAnyBytesAndRefusesNonCanonicalText) {
    for (std::string bytes : {std::string(), std::string("f"), std::string("fo"), std::string("foo"),
                              std::string("\0\xff\x10z", 4)}) {
        EXPECT_EQ(detail::base64Decode(detail::base64Encode(bytes)), bytes);
    }
    EXPECT_EQ(detail::base64Encode("foob"), "Zm9vYg==");
    for (const char* bad : {"Zm9", "Zm9vYh==", "Zm=v", "Zm9v!A==", "===="}) EXPECT_FALSE(detail::base64Decode(bad)) << bad;
}

}  // namespace
}  // namespace veltrop::storage
