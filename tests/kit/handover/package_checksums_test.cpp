#include <gtest/gtest.h>

#include <cstdlib>

#include "kit/export/image_fixtures.h"
#include "kit/handover/package_checksums.h"
#include "kit/handover/package_verification.h"
#include "support/test_support.h"

using namespace veltrop::handover;
using veltrop::exporting::BatchSummary;
using veltrop::exporting::FileOutcome;
using veltrop::exporting::StampPlan;
using veltrop::platform::sha256;
using namespace veltrop::testing;
namespace fs = std::filesystem;

namespace {

BatchSummary exported(const fs::path& source, const fs::path& copy, std::string sourcePath) {
    BatchSummary summary;
    veltrop::records::PhotoRecord record;
    record.sourcePath = std::move(sourcePath);
    summary.results.push_back({source, FileOutcome::stamped(copy), record});
    return summary;
}

}  // namespace

// Awkward names written by us and read by the real sha256sum: the escapes
// must be the ones it understands.
TEST(PackageChecksums, ListsReadBackBySha256sumAndOurselves) {
    TempDir dir;
    const std::vector<std::string> names{"plain.jpg",   "with space.jpg", " leading.jpg",  "back\\slash.jpg",
                                         "line\nbreak", "carriage\rret",  "caf\u00e9.jpg", "Photos/deep/x.jpg"};
    std::string list;
    for (const auto& name : names) {
        writeFile(dir / name, name + " content");
        list += checksumLine(sha256(name + " content"), name);
    }
    writeFile(dir / "list.sha256", list);
    const std::string command = "cd " + shellQuoted(dir.path()) + " && sha256sum --quiet --strict -c list.sha256";
    EXPECT_EQ(std::system(command.c_str()), 0);

    std::size_t at = 0;
    for (const auto& name : names) {
        const std::size_t end = list.find('\n', at);
        const auto entry = parseChecksumLine(std::string_view(list).substr(at, end - at));
        ASSERT_TRUE(entry) << name;
        EXPECT_EQ(entry->path, name);
        EXPECT_EQ(entry->digest, veltrop::platform::hexText(sha256(name + " content")));
        at = end + 1;
    }

    const std::string digest(64, 'a');
    for (const std::string& bad : {digest + " x", digest + "\tx", digest.substr(1) + "  x",
                                   "g" + digest.substr(1) + "  x", digest + "  ", "\\" + digest + "  a\\qb"})
        EXPECT_FALSE(parseChecksumLine(bad)) << bad;
    EXPECT_EQ(parseChecksumLine(digest + " *bin.jpg")->path, "bin.jpg");
    EXPECT_EQ(parseChecksumLine(std::string(64, 'A') + "  x")->digest, digest);
}

// The step hashes what it wrote and its original; the lists then take those
// digests instead of reading the files again.
TEST(PackageChecksums, HashingStepFeedsTheLists) {
    TempDir dir;
    const fs::path package = dir / "package";
    writeFile(dir / "site" / "a.jpg", "original bytes");
    writeFile(package / ".veltrop-package", "marker\n");
    auto digests = std::make_shared<PackageDigests>();
    const auto step = hashingStep(
        [&](const StampPlan& plan, const veltrop::exporting::StampJob&) {
            if (!plan.destination) return FileOutcome::failed(veltrop::exporting::UnexpectedFailure{"no place"});
            writeFile(*plan.destination, "copy bytes");
            return FileOutcome::stamped(*plan.destination);
        },
        digests);
    const veltrop::settings::StampConfiguration configuration;
    const std::optional<veltrop::image::Bitmap> noWatermark;
    StampPlan plan;
    plan.photo.url = dir / "site" / "a.jpg";
    plan.destination = package / "Photos" / "a.jpg";
    EXPECT_EQ(step(plan, {configuration, noWatermark}).kind, FileOutcome::Kind::stamped);
    plan.destination.reset();
    EXPECT_EQ(step(plan, {configuration, noWatermark}).kind, FileOutcome::Kind::failed);
    EXPECT_EQ(digests->find(package / "Photos" / "a.jpg"),
              (PackageDigests::Entry{sha256("copy bytes"), sha256("original bytes")}));

    const BatchSummary summary = exported(dir / "site" / "a.jpg", package / "Photos" / "a.jpg", "site/a.jpg");
    EXPECT_TRUE(writeChecksums(summary, package, digests.get()).empty());
    EXPECT_EQ(readFile(package / "Sources.sha256"), checksumLine(sha256("original bytes"), "site/a.jpg"));
    EXPECT_EQ(readFile(package / "Checksums.sha256"),
              checksumLine(sha256("marker\n"), ".veltrop-package") +
                  checksumLine(sha256("copy bytes"), "Photos/a.jpg") +
                  checksumLine(sha256(readFile(package / "Sources.sha256")), "Sources.sha256"));
    EXPECT_TRUE(verifyPackage(package, dir.path()).holds());
    // The exported folder itself names the originals as well as the one holding it.
    EXPECT_TRUE(verifyPackage(package, dir / "site").holds());
    EXPECT_TRUE(verifyPackage(package, dir / "site" / "").holds());
    writeFile(dir / "site" / "a.jpg", "changed");
    EXPECT_FALSE(verifyPackage(package, dir / "site").holds());

    // Lists are never replaced; a second attempt says so.
    const auto again = writeChecksums(summary, package, digests.get());
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[1].description(), "Could not save Checksums.sha256; existing files were preserved");
}

TEST(PackageVerification, NamesEveryKindOfProblem) {
    TempDir dir;
    const fs::path package = dir / "package";
    writeFile(package / "kept.txt", "kept");
    writeFile(package / "changed.txt", "after");
    writeFile(package / "extra.txt", "extra");
    fs::create_symlink(package / "kept.txt", package / "link.txt");
    writeFile(package / "Checksums.sha256",
              checksumLine(sha256("kept"), "kept.txt") + checksumLine(sha256("before"), "changed.txt") +
                  checksumLine(sha256("gone"), "gone.txt") + checksumLine(sha256("x"), "../outside.txt") +
                  "not a checksum line\n" + std::string(20000, 'z') + "\n");

    const PackageVerification result = verifyPackage(package);
    std::vector<std::string> lines;
    for (const auto& problem : result.problems) lines.push_back(problem.description());
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "Checksums.sha256 line 4 is not a checksum line", "Checksums.sha256 line 5 is not a checksum line",
                  "Checksums.sha256 line 6 is not a checksum line", "Changed: changed.txt", "Missing: gone.txt",
                  "Unexpected file: extra.txt", "Unexpected file: link.txt"}));
    EXPECT_EQ(result.filesChecked, 3u);
    EXPECT_EQ(result.fingerprint,
              veltrop::platform::hexText(*veltrop::platform::sha256OfFile(package / "Checksums.sha256")));

    const PackageVerification noSources = verifyPackage(dir / "empty", dir.path());
    ASSERT_EQ(noSources.problems.size(), 2u);
    EXPECT_EQ(noSources.problems[1].description(), "Sources.sha256 is missing or cannot be read");
}
