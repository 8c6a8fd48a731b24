// Inputs and situations that are not photos in a folder: FIFOs and devices,
// files padded to gigabytes, photos too large for memory, names that are not
// UTF-8, folders nested thousands deep, and what killed exports leave behind.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "kit/export/batch_processor.h"
#include "kit/export/image_fixtures.h"
#include "kit/export/image_loader.h"
#include "kit/export/image_writer.h"
#include "kit/export/memory_budget.h"
#include "kit/export/output_planner.h"
#include "kit/export/photo_discovery.h"
#include "kit/handover/handover_package.h"
#include "kit/platform/limits.h"
#include "kit/platform/png_encoder.h"
#include "kit/platform/private_folder.h"
#include "support/test_support.h"

namespace veltrop::exporting {
namespace {

namespace fs = std::filesystem;
using namespace veltrop::testing;

settings::StampConfiguration undatedPhotosAllowed() {
    settings::StampConfiguration configuration;
    configuration.useFileDateFallback = true;
    return configuration;
}

std::vector<records::DiscoveredPhoto> discovered(const std::vector<fs::path>& dropped) {
    return PhotoDiscovery::makePhotos(PhotoDiscovery::discoverFiles(dropped, true, {}), dropped);
}

// ---------------------------------------------------------------- FIFOs and devices

// Each call would block for ever (or read without end) if the file were
// opened before its type is known; the child is killed after 20 s then.
TEST(HostileInput, AFifoOrDeviceIsRefusedAtOnce) {
    TempDir dir;
    const fs::path fifo = dir / "fifo.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir / "folder.jpg");
    struct Case {
        fs::path item;
        std::string text;
    };
    const std::vector<Case> cases = {
        {fifo, "Could not read fifo.jpg \u2014 it is not a regular file"},
        {"/dev/zero", "Could not read zero \u2014 it is not a regular file"},
        {dir / "folder.jpg", "Could not read folder.jpg \u2014 it is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item.string());
        const auto status = runInChild([&] {
            auto loaded = ImageLoader::load(c.item);
            auto info = ImageLoader::readInfo(c.item);
            auto thumbnail = ImageLoader::loadThumbnail(c.item, 100, ThumbnailOrientation::upright);
            const ImageLoadError expected{ImageLoadError::Kind::notRegularFile, c.item};
            const bool refused = !loaded && loaded.error() == expected && !info && info.error() == expected &&
                                 !thumbnail && thumbnail.error() == expected;
            return refused && loaded.error().description() == c.text ? 0 : 1;
        }, 20);
        EXPECT_EQ(status, (ChildStatus{0, std::nullopt}));
    }
}

// Named explicitly, every input is accounted for; folders are walked instead.
TEST(HostileInput, ExplicitInputsThatAreNoPhotoAreReported) {
    TempDir dir;
    writeBytes(dir / "photo.jpg", encodeJpeg(patternBitmap(16, 16)));
    ASSERT_EQ(::mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
    writeFile(dir / "notes.txt", "text");
    writeFile(dir / ".hidden.jpg", "x");
    fs::create_symlink(dir / "photo.jpg", dir / "link.jpg");
    const std::vector<fs::path> dropped{dir / "photo.jpg", dir / "fifo.jpg", dir / "missing.jpg", dir / "notes.txt",
                                        dir / ".hidden.jpg", dir / "link.jpg", dir.path()};
    EXPECT_EQ(PhotoDiscovery::refusedInputs(dropped),
              (std::vector<PhotoDiscovery::RefusedInput>{
                  {dir / "fifo.jpg", "Could not read fifo.jpg \u2014 it is not a regular file"},
                  {dir / "missing.jpg", "Could not read missing.jpg"},
                  {dir / "notes.txt", "notes.txt is not a supported image"},
                  {dir / ".hidden.jpg", ".hidden.jpg is hidden and was left out"},
                  {dir / "link.jpg", "Could not read link.jpg \u2014 it is not a regular file"},
              }));
}

// ---------------------------------------------------------------- memory

// The growth of this process's peak memory while body runs, in bytes.
std::int64_t peakGrowth(const std::function<void()>& body) {
    const auto field = [](const char* name) -> std::int64_t {
        std::ifstream status("/proc/self/status");
        std::string line;
        while (std::getline(status, line))
            if (line.starts_with(name)) return std::stoll(line.substr(line.find(':') + 1)) * 1024;
        return -1;
    };
    // "5" sets the peak back to the current size.
    std::ofstream("/proc/self/clear_refs") << "5";
    const std::int64_t before = field("VmHWM:");
    body();
    return field("VmHWM:") - before;
}

struct ChildLoad {
    ChildStatus status;
    std::int64_t growth = -1;  // of the child's peak memory while loading
};

// Loads file in a child process, which exits 0 when the load's success is `expected`.
ChildLoad loadInChild(const fs::path& file, bool expected) {
    int report[2];
    if (::pipe(report) != 0) return {};
    ChildLoad result;
    result.status = runInChild([&] {
        bool loaded = false;
        const std::int64_t growth = peakGrowth([&] {
            auto image = ImageLoader::load(file);
            loaded = image && image->image.width > 0;
        });
        (void)!::write(report[1], &growth, sizeof growth);
        return loaded == expected ? 0 : 1;
    }, 60);
    ::close(report[1]);
    (void)!::read(report[0], &result.growth, sizeof result.growth);
    ::close(report[0]);
    return result;
}

constexpr std::int64_t allowedGrowth = 100ll << 20;

// A small valid picture followed by two gigabytes that hold nothing (a sparse
// file, so the test costs no disk): only what the decoder needs is read.
TEST(HostileInput, APaddedPhotoIsReadOnlyAsFarAsThePictureGoes) {
    TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Bytes jpeg = encodeJpeg(patternBitmap(400, 300));
    const std::vector<Case> cases = {
        {"padded.jpg", std::string(jpeg.begin(), jpeg.end())},
        {"padded.png", platform::encodePng(patternBitmap(400, 300)).value()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / c.name;
        writeFile(file, c.bytes);
        ASSERT_EQ(::truncate(file.c_str(), 2ll << 30), 0);
        const ChildLoad load = loadInChild(file, true);
        EXPECT_EQ(load.status, (ChildStatus{0, std::nullopt})) << "the padded file did not load";
        EXPECT_GE(load.growth, 0);
        EXPECT_LT(load.growth, allowedGrowth) << "peak memory grew by " << (load.growth >> 20) << " MB";
    }
}

// Found by fuzzing: a 600-byte PNG whose text chunk claims 1.4 GB made the
// PNG library allocate that much before reading it. Before the picture or
// after it, such a chunk makes the file unreadable at once.
TEST(HostileInput, APngChunkClaimingMoreThanTheFileHoldsTakesNoMemory) {
    TempDir dir;
    const std::string png = platform::encodePng(patternBitmap(5, 7)).value();
    for (const char* before : {"IDAT", "IEND"}) {
        SCOPED_TRACE(before);
        std::string damaged = png;
        const std::size_t at = damaged.find(before) - 4;  // the chunk's length field
        damaged.insert(at, std::string("\x59\x00\x00\x25tEXtdate:modify\0", 20));
        const fs::path file = dir / "claims.png";
        writeFile(file, damaged);
        EXPECT_FALSE(ImageLoader::readInfo(file));
        const ChildLoad load = loadInChild(file, false);
        EXPECT_EQ(load.status, (ChildStatus{0, std::nullopt})) << "the damaged file loaded";
        EXPECT_LT(load.growth, allowedGrowth) << "peak memory grew by " << (load.growth >> 20) << " MB";
    }
}

// What a decode announces before it takes memory, from the file's structure:
// a baseline JPEG is decoded a few rows at a time, a progressive one keeps
// 64 two-byte coefficients per 8 × 8 block of every component.
TEST(HostileInput, DecodesAnnounceTheirMemoryBeforeTakingIt) {
    if (!hasTool("jpegtran")) GTEST_SKIP() << "jpegtran is not installed";
    TempDir dir;
    writeBytes(dir / "baseline.jpg", encodeJpeg(patternBitmap(64, 48)));
    const std::string command = "jpegtran -progressive -outfile '" + (dir / "progressive.jpg").string() + "' '" +
                                (dir / "baseline.jpg").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    writeFile(dir / "image.png", platform::encodePng(patternBitmap(30, 20)).value());

    struct Case {
        const char* name;
        platform::DecodeCost expected;
    };
    // 4:2:0: luma 8 × 6 blocks, each chroma plane 4 × 3.
    const std::vector<Case> cases = {
        {"baseline.jpg", {64, 48, 0}},
        {"progressive.jpg", {64, 48, (8 * 6 + 2 * 4 * 3) * 64 * 2}},
        {"image.png", {30, 20, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<platform::DecodeCost> announced;
        auto loaded = ImageLoader::load(dir / c.name, [&](const platform::DecodeCost& cost) {
            announced.push_back(cost);
            return true;
        });
        ASSERT_TRUE(loaded);
        EXPECT_EQ(announced, std::vector{c.expected});
        auto refused = ImageLoader::load(dir / c.name, [](const platform::DecodeCost&) { return false; });
        EXPECT_FALSE(refused);
    }
}

TEST(MemoryBudget, ReservesFirstComeFirstServedAndRefusesWhatCanNeverFit) {
    MemoryBudget budget(100);
    EXPECT_FALSE(budget.reserve(101));
    {
        auto first = budget.reserve(60);
        ASSERT_TRUE(first);
        EXPECT_EQ(budget.reserved(), 60u);
    }
    EXPECT_EQ(budget.reserved(), 0u);

    // Eight workers asking for 40 each: never more than two at once.
    std::atomic<int> holding{0}, most{0};
    std::vector<std::thread> workers;
    for (int i = 0; i < 8; ++i) {
        workers.emplace_back([&] {
            auto reservation = budget.reserve(40);
            const int now = ++holding;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            std::this_thread::yield();
            --holding;
        });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_LE(most.load(), 2);
    EXPECT_GE(most.load(), 1);
    EXPECT_EQ(budget.reserved(), 0u);
}

// A budget that fits one photo at a time still stamps them all; a photo
// larger than the whole budget fails with the reason, its neighbours go on.
TEST(HostileInput, PhotosShareOneMemoryBudget) {
    TempDir dir;
    const fs::path site = dir / "site";
    writeBytes(site / "a.jpg", encodeJpeg(patternBitmap(200, 150)));
    writeBytes(site / "b.jpg", encodeJpeg(patternBitmap(200, 150)));
    writeBytes(site / "huge.jpg", encodeJpeg(patternBitmap(2000, 1500)));
    writeBytes(site / "c.jpg", encodeJpeg(patternBitmap(200, 150)));
    const auto photos = discovered({site});
    ASSERT_EQ(photos.size(), 4u);

    const std::uint64_t small = photoMemoryBytes({200, 150, 0});
    const std::uint64_t huge = photoMemoryBytes({2000, 1500, 0});
    ASSERT_GT(huge, small + small / 2);
    BatchProcessor processor(4);
    processor.setMemoryBudget(small + small / 2);
    const auto summary = processor.run(photos, undatedPhotosAllowed(), std::nullopt, {}, std::nullopt);
    ASSERT_EQ(summary.results.size(), 4u);
    EXPECT_EQ(summary.count(FileOutcome::Kind::stamped), 3u);
    EXPECT_EQ(summary.failedSources(), std::vector{site / "huge.jpg"});
    EXPECT_EQ(summary.results[3].outcome.failureText(), memoryLimitText("huge.jpg", huge, small + small / 2));
    EXPECT_TRUE(summary.results[3].outcome.failureText().starts_with(
        "huge.jpg is too large to stamp with the memory available (it needs "));
    EXPECT_GE(defaultBatchMemoryBytes(), platform::limits::minimumBatchMemoryBytes);
}

// ---------------------------------------------------------------- names

// The copy of a photo whose name is not UTF-8 is written under the name the
// photo index lists, so that the index names a file that exists.
TEST(HostileInput, ACopyOfANonUtf8NameIsWrittenUnderTheListedName) {
    TempDir dir;
    const fs::path site = dir / "site";
    writeBytes(site / "sub\xFE" / "bad\xFF.jpg", encodeJpeg(patternBitmap(40, 30)));
    const auto photos = discovered({site});
    ASSERT_EQ(photos.size(), 1u);

    auto package = handover::HandoverPackage::createPackageFolder(dir.path(), "Names");
    ASSERT_TRUE(package);
    auto configuration = undatedPhotosAllowed();
    configuration.outputRoot = handover::HandoverPackage::photosFolder(*package);
    BatchProcessor processor(1);
    auto summary = processor.run(photos, configuration, std::nullopt, {}, std::nullopt);
    ASSERT_EQ(summary.count(FileOutcome::Kind::stamped), 1u);
    const auto reports = handover::HandoverPackage::buildReports(summary, *package, configuration);
    ASSERT_TRUE(reports.index);

    // The index's "Exported file" field, and what is really on disk.
    const std::string index = readFile(*reports.index);
    const std::string listed = "Photos/sub\xEF\xBF\xBD/bad\xEF\xBF\xBD.jpg";
    EXPECT_NE(index.find("\"" + listed + "\""), std::string::npos) << index;
    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(*package / "Photos"))
        if (entry.is_regular_file()) written.push_back(entry.path().lexically_relative(*package).generic_string());
    EXPECT_EQ(written, std::vector{listed});
}

// ---------------------------------------------------------------- deep folders

// Folder chains made and removed through handles: their paths are longer
// than the system lets any single call name.
class DeepFolders {
public:
    DeepFolders(const fs::path& top, int depth, const std::string& name) : top_(top), depth_(depth), name_(name) {
        int folder = ::open(top.c_str(), O_RDONLY | O_DIRECTORY);
        for (int level = 0; level < depth; ++level) {
            ::mkdirat(folder, name.c_str(), 0755);
            const int next = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(folder);
            folder = next;
        }
        const int file = ::openat(folder, "deep.jpg", O_WRONLY | O_CREAT, 0644);
        const Bytes jpeg = encodeJpeg(patternBitmap(8, 8));
        (void)!::write(file, jpeg.data(), jpeg.size());
        ::close(file);
        ::close(folder);
    }
    ~DeepFolders() { remove(::open(top_.c_str(), O_RDONLY | O_DIRECTORY), 0); }

    fs::path deepest() const {
        std::string path = top_.string();
        for (int level = 0; level < depth_; ++level) path += "/" + name_;
        return fs::path(path) / "deep.jpg";
    }

private:
    void remove(int folder, int level) {
        if (level < depth_) remove(::openat(folder, name_.c_str(), O_RDONLY | O_DIRECTORY), level + 1);
        ::unlinkat(folder, "deep.jpg", 0);
        if (level < depth_) ::unlinkat(folder, name_.c_str(), AT_REMOVEDIR);
        ::close(folder);
    }

    fs::path top_;
    int depth_;
    std::string name_;
};

// Each folder is reached from its parent and its real path built from its
// parent's: a walk that looked up every folder by its whole path would stop
// where paths outgrow the system's limit (and cost the cube of the depth).
TEST(HostileInput, DeepFolderChainsAreWalkedFromParentToChild) {
    TempDir dir;
    const fs::path site = dir / "site";
    fs::create_directory(site);
    writeBytes(site / "top.jpg", encodeJpeg(patternBitmap(8, 8)));
    constexpr int depth = 2100;
    const DeepFolders chain(site, depth, "dd");
    ASSERT_GT(chain.deepest().native().size(), 4096u);  // longer than PATH_MAX

    // An excluded folder makes the walk compute every folder's key too.
    const auto files = PhotoDiscovery::discoverFiles({site}, true, {dir / "elsewhere"});
    EXPECT_EQ(files, (std::vector<fs::path>{chain.deepest(), site / "top.jpg"}));
    EXPECT_EQ(PhotoDiscovery::discoverFiles({site}, false, {}), std::vector<fs::path>{site / "top.jpg"});
}

// ---------------------------------------------------------------- killed exports

TEST(HostileInput, AnExportRemovesWhatKilledExportsLeftButNotRunningOnes) {
    TempDir dir;
    const fs::path site = dir / "site";
    writeBytes(site / "a.jpg", encodeJpeg(patternBitmap(40, 30)));
    writeBytes(site / "day2" / "b.jpg", encodeJpeg(patternBitmap(40, 30)));
    const fs::path output = site / "Timestamped";
    fs::create_directories(output / "day2");
    const std::string name = std::string(privateFolderPrefix) + "0A1B2C3D-0000-4000-8000-0000000000AA";
    leaveKilledWriter(output, name);
    leaveKilledWriter(output / "day2", name);
    const fs::path killed = output / name, killedBelow = output / "day2" / name;
    ASSERT_TRUE(fs::exists(killed / "output.jpg"));
    ASSERT_TRUE(fs::exists(killedBelow / "output.jpg"));
    // Another export, still writing into the same folder.
    auto running = platform::PrivateFolder::create(output, ".veltrop-0A1B2C3D-0000-4000-8000-0000000000BB");
    ASSERT_TRUE(running);

    BatchProcessor processor(2);
    const auto summary = processor.run(discovered({site}), undatedPhotosAllowed(), std::nullopt, {}, std::nullopt);
    EXPECT_EQ(summary.count(FileOutcome::Kind::stamped), 2u);
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_FALSE(fs::exists(killedBelow));
    EXPECT_TRUE(fs::exists(running->location()));
}

}  // namespace
}  // namespace veltrop::exporting
