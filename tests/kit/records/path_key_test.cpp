#include "kit/records/path_key.h"

#include <gtest/gtest.h>

#include "kit/platform/unicode.h"
#include "kit/platform/volume.h"
#include "support/test_support.h"

namespace veltrop::records {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(PathKey, DifferentSpellingsOfOneLocationAgree) {
    TempDir dir;
    fs::create_directories(dir / "real" / "sub");
    fs::create_directory_symlink(dir / "real", dir / "link");
    const std::string key = pathKey(dir / "real" / "sub" / "new" / "a.jpg");
    EXPECT_EQ(pathKey(dir / "link" / "sub" / "new" / "a.jpg"), key);
    EXPECT_EQ(pathKey(dir / "link" / "x" / ".." / "sub" / "." / "new" / "a.jpg"), key);
    EXPECT_EQ(pathKey(dir / "real/sub//new/a.jpg/"), key);
    EXPECT_EQ(pathKey(dir / "caf\u00e9"), pathKey(dir / "cafe\u0301"));
}

TEST(PathKey, AsksTheVolumeOfTheExistingPart) {
    TempDir dir;
    fs::create_directories(dir / "Real");
    fs::path asked;
    const auto folding = [&asked](const fs::path& existing) {
        asked = existing;
        return false;
    };
    EXPECT_EQ(pathKey(dir / "Real" / "Missing" / "\u00c9.JPG", folding),
              platform::caseFolded(pathKey(dir / "Real" / "missing" / "\u00e9.jpg", folding)));
    EXPECT_EQ(asked, fs::canonical(dir / "Real"));
}

TEST(Volume, FailedQueryCountsAsCaseInsensitive) {
    EXPECT_FALSE(platform::isCaseSensitive("/nonexistent/veltrop/volume/query"));
}

}  // namespace
}  // namespace veltrop::records
