#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "support/test_support.h"
#include "tests/cli/cli_run.h"

namespace fs = std::filesystem;
using veltrop::testing::CliRun;
using veltrop::testing::contains;
using veltrop::testing::runCli;
using veltrop::testing::quotedForShell;
using veltrop::testing::TempDir;

namespace {

void flipByte(const fs::path& file, std::streamoff at) {
    std::fstream stream(file, std::ios::in | std::ios::out | std::ios::binary);
    stream.seekg(at);
    char byte = 0;
    stream.get(byte);
    stream.seekp(at);
    stream.put(static_cast<char>(byte ^ 0x01));
}

}  // namespace

// A package made by export proves itself: the real sha256sum accepts both
// lists, verify passes, and each kind of tampering is named.
TEST(CliVerify, FreshPackagePassesAndEachChangeIsNamed) {
    VELTROP_REQUIRE_CORPUS(corpus);
    TempDir dir;
    const fs::path site = dir / "Site";
    fs::create_directories(site / "day 1");
    fs::copy_file(corpus / "FujiFilm DS-7 (1).jpg", site / "day 1" / "a.jpg");
    fs::copy_file(corpus / "Traveler SX330Z.jpg", site / "b.jpg");
    fs::create_directories(dir / "out");
    const CliRun exported = runCli({"export", site.string(), "--package", (dir / "out").string(), "--jobs", "2"});
    ASSERT_EQ(exported.status, 0) << exported.out << exported.err;
    const fs::path package = dir / "out" / "Veltrop - Photo records";
    ASSERT_TRUE(fs::exists(package / "Checksums.sha256"));
    EXPECT_EQ(veltrop::testing::readFile(package / "Sources.sha256").find("  Site/day 1/a.jpg\n") != std::string::npos,
              true);

    const std::string checkInside =
        "cd " + quotedForShell(package.string()) + " && sha256sum --quiet --strict -c Checksums.sha256";
    EXPECT_EQ(std::system(checkInside.c_str()), 0);
    const std::string checkSources = "cd " + quotedForShell(dir.path().string()) + " && sha256sum --quiet --strict -c " +
                                     quotedForShell((package / "Sources.sha256").string());
    EXPECT_EQ(std::system(checkSources.c_str()), 0);

    const std::vector<std::string> withSources{"verify", package.string(), "--sources", dir.path().string()};
    const CliRun fresh = runCli(withSources);
    EXPECT_EQ(fresh.status, 0) << fresh.out;
    EXPECT_TRUE(contains(fresh.out, "Verified: 6 files match Checksums.sha256, 2 originals match Sources.sha256\n"))
        << fresh.out;

    const fs::path copy = package / "Photos" / "day 1" / "a.jpg";
    const fs::path index = package / "Photo index.csv";
    const fs::path original = site / "day 1" / "a.jpg";
    const std::string sheet = veltrop::testing::readFile(package / "Contact sheet.pdf");
    struct Tampering {
        std::function<void()> change, undo;
        std::string line;
    };
    const Tampering cases[] = {
        {[&] { flipByte(copy, 1000); }, [&] { flipByte(copy, 1000); }, "Changed: Photos/day 1/a.jpg"},
        {[&] { flipByte(index, 10); }, [&] { flipByte(index, 10); }, "Changed: Photo index.csv"},
        {[&] { flipByte(original, 2000); }, [&] { flipByte(original, 2000); }, "Changed original: Site/day 1/a.jpg"},
        {[&] { fs::remove(package / "Contact sheet.pdf"); },
         [&] { veltrop::testing::writeFile(package / "Contact sheet.pdf", sheet); }, "Missing: Contact sheet.pdf"},
        {[&] { fs::remove(original); }, [&] { fs::copy_file(corpus / "FujiFilm DS-7 (1).jpg", original); },
         "Missing original: Site/day 1/a.jpg"},
        {[&] { veltrop::testing::writeFile(package / "Photos" / "extra.jpg", "x"); },
         [&] { fs::remove(package / "Photos" / "extra.jpg"); }, "Unexpected file: Photos/extra.jpg"},
    };
    for (const Tampering& tampering : cases) {
        tampering.change();
        const CliRun run = runCli(withSources);
        EXPECT_EQ(run.status, 1) << tampering.line;
        EXPECT_EQ(run.out.substr(0, run.out.find('\n')), tampering.line) << run.out;
        EXPECT_TRUE(contains(run.out, "\n1 problem found\n")) << run.out;
        tampering.undo();
        EXPECT_EQ(runCli(withSources).status, 0) << "after undoing: " << tampering.line;
    }
    // Without --sources the originals are not read.
    flipByte(original, 2000);
    EXPECT_EQ(runCli({"verify", package.string()}).status, 0);

    EXPECT_EQ(runCli({"verify", (dir / "nowhere").string()}).status, 2);
    EXPECT_EQ(runCli({"verify"}).status, 2);
    const CliRun notPackage = runCli({"verify", site.string()});
    EXPECT_EQ(notPackage.status, 1);
    EXPECT_TRUE(contains(notPackage.out, "Checksums.sha256 is missing or cannot be read\n")) << notPackage.out;
}
