// Feeds the committed regression inputs and seeds, and for image reading the
// photo corpus, through every fuzz harness. A failed check aborts the run
// with the check and the input named.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "fuzz/harness.h"
#include "support/test_support.h"

namespace veltrop::fuzz {

void PrintTo(const Target& target, std::ostream* out) { *out << target.name; }

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> filesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    if (!fs::is_directory(folder)) return files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file()) files.push_back(entry.path());
    std::ranges::sort(files);
    return files;
}

std::string bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t replay(const Target& target, const std::vector<fs::path>& files) {
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        std::fprintf(stderr, "%s < %s\n", std::string(target.name).c_str(), file.string().c_str());
        const std::string bytes = bytesOf(file);
        EXPECT_EQ(target.entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
    }
    return files.size();
}

class FuzzReplay : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, RegressionsAndSeedsPassEveryCheck) {
    const fs::path root = VELTROP_FUZZ_DIR;
    const std::string name(GetParam().name);
    std::size_t count = replay(GetParam(), filesIn(root / "regressions" / name));
    count += replay(GetParam(), filesIn(root / "seeds" / name));
    EXPECT_GT(count, 0u) << "no seeds for " << name;
}

TEST(FuzzReplayCorpus, ImageHeaderReadsEveryCorpusPhoto) {
    VELTROP_REQUIRE_CORPUS(corpus);
    const auto files = filesIn(corpus);
    std::vector<fs::path> photos;
    for (const auto& file : files)
        if (file.extension() != ".md" && file.extension() != ".json") photos.push_back(file);
    EXPECT_GT(replay(targets[0], photos), 0u);
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzReplay, ::testing::ValuesIn(targets),
                         [](const auto& target) { return std::string(target.param.name); });

}  // namespace
}  // namespace veltrop::fuzz
