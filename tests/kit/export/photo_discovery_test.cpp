#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "kit/export/photo_discovery.h"
#include "support/test_support.h"

using namespace veltrop::exporting;
using veltrop::records::DiscoveredPhoto;
using namespace veltrop::testing;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> names(const std::vector<fs::path>& files, const fs::path& base) {
    std::vector<std::string> result;
    for (const auto& file : files) result.push_back(file.lexically_relative(base).string());
    return result;
}

void touch(const fs::path& file) { writeFile(file, "not really a photo"); }

}  // namespace

TEST(PhotoDiscovery, AcceptsPhotoExtensionsInFileBrowserOrder) {
    TempDir dir;
    for (auto name : {"IMG_10.jpg", "b.JPG", "IMG_2.jpg", "c.heic", "d.HEIF", "e.png", ".f.jpg", "notes.txt",
                      "A.jpeg", "img_3.Jpg"})
        touch(dir / name);
    fs::create_directory(dir / "folder.jpg");  // a folder is never a photo
    auto files = PhotoDiscovery::discoverFiles({dir.path()}, true, {});
    EXPECT_EQ(names(files, dir.path()), (std::vector<std::string>{"A.jpeg", "b.JPG", "c.heic", "d.HEIF", "IMG_2.jpg",
                                                                  "img_3.Jpg", "IMG_10.jpg"}));
}

TEST(PhotoDiscovery, SkipsOutputFoldersPackagesExcludedAndLinks) {
    TempDir dir;
    const fs::path drop = dir / "Timestamped";  // a dropped folder's own name does not matter
    touch(drop / "top.jpg");
    touch(drop / "sub/in.jpg");
    touch(drop / "sub/timestamped/out.jpg");
    touch(drop / "Veltrop - Site/.veltrop-package");
    touch(drop / "Veltrop - Site/Photos/copy.jpg");
    touch(drop / "chosen-output/x.jpg");
    touch(drop / ".hidden/h.jpg");
    fs::create_directory_symlink(drop / "sub", drop / "linked-folder");
    fs::create_symlink(drop / "top.jpg", drop / "link.jpg");

    auto all = PhotoDiscovery::discoverFiles({drop}, true, {drop / "chosen-output"});
    EXPECT_EQ(names(all, drop), (std::vector<std::string>{"sub/in.jpg", "top.jpg"}));

    auto flat = PhotoDiscovery::discoverFiles({drop}, false, {});
    EXPECT_EQ(names(flat, drop), std::vector<std::string>{"top.jpg"});

    // A dropped link to a file is not followed either.
    EXPECT_TRUE(PhotoDiscovery::discoverFiles({drop / "link.jpg"}, true, {}).empty());
}

TEST(PhotoDiscovery, ListsEachFileOnceAndMissingOrUnreadableItemsQuietly) {
    TempDir dir;
    touch(dir / "x/a.jpg");
    touch(dir / "x/locked/b.jpg");
    fs::permissions(dir / "x/locked", fs::perms::none);
    auto files = PhotoDiscovery::discoverFiles({dir / "x", dir / "x/a.jpg", dir / "x/./a.jpg", dir / "missing"}, true, {});
    if (::geteuid() != 0) EXPECT_EQ(names(files, dir.path()), std::vector<std::string>{"x/a.jpg"});
    else EXPECT_EQ(files.front(), dir / "x/a.jpg");  // root reads the locked folder anyway
}

TEST(PhotoDiscovery, RootsAndSubpathsPreferTheDeepestDroppedFolder) {
    const std::vector<fs::path> dropped{"/x", "/x/y", "/x/y/p.jpg"};
    const std::tuple<fs::path, fs::path, std::string> cases[] = {  // photo, root, subpath
        {"/x/y/z/q.jpg", "/x/y", "z"}, {"/x/q.jpg", "/x", ""}, {"/x/y/p.jpg", "/x/y/p.jpg", ""}, {"/xy/q.jpg", "/xy", ""}};
    for (const auto& [photo, root, subpath] : cases)
        EXPECT_EQ(PhotoDiscovery::rootAndSubpath(photo, dropped), std::pair(root, subpath)) << photo;
    EXPECT_EQ(PhotoDiscovery::rootAndSubpath("/x/a/b/c.jpg", {"/x"}), std::pair(fs::path("/x"), std::string("a/b")));
    EXPECT_EQ(PhotoDiscovery::rootAndSubpath("/a/b/c.jpg", {"/"}), std::pair(fs::path("/"), std::string("a/b")));
}

TEST(PhotoDiscovery, MakesPhotosFromOneMetadataReadEach) {
    TempDir dir;
    touch(dir / "site/day1/turned.jpg");
    touch(dir / "site/broken.jpg");
    std::map<fs::path, int> reads;
    auto reader = [&](const fs::path& file) -> std::optional<ImageInfo> {
        ++reads[file];
        if (file.filename() == "broken.jpg") return std::nullopt;
        ImageInfo info;
        info.properties = {{"PixelWidth", 4000},
                           {"PixelHeight", 3000},
                           {"Orientation", 6},
                           {"Exif", veltrop::dates::PropertyDictionary{{"DateTimeOriginal", "2026:08:14 06:17:49"}}},
                           {"TIFF", veltrop::dates::PropertyDictionary{{"Model", "D90"}}}};
        return info;
    };
    const std::vector<fs::path> dropped{dir / "site"};
    auto photos = PhotoDiscovery::makePhotos(PhotoDiscovery::discoverFiles(dropped, true, {}), dropped, reader);
    ASSERT_EQ(photos.size(), 2u);
    const DiscoveredPhoto& broken = photos[0];
    EXPECT_EQ(broken.url, dir / "site/broken.jpg");
    EXPECT_FALSE(broken.captureDate);
    EXPECT_EQ(broken.pixelSize, (veltrop::image::Size{0, 0}));
    const DiscoveredPhoto& turned = photos[1];
    EXPECT_EQ(turned.root, dir / "site");
    EXPECT_EQ(turned.relativeSubpath, "day1");
    EXPECT_EQ(turned.pixelSize, (veltrop::image::Size{4000, 3000}));
    EXPECT_EQ(turned.displaySize, (veltrop::image::Size{3000, 4000}));
    EXPECT_EQ(turned.exif.model, "D90");
    ASSERT_EQ(turned.dateAudit.candidates.size(), 1u);
    EXPECT_FALSE(turned.batchOrdinal);
    for (const auto& [file, count] : reads) EXPECT_EQ(count, 1) << file;
}
