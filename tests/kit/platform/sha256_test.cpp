#include <gtest/gtest.h>

#include <random>
#include <string>

#include "kit/export/image_fixtures.h"
#include "kit/platform/sha256.h"
#include "support/test_support.h"

using namespace veltrop::platform;
using namespace veltrop::testing;

namespace {

// What the system's own sha256sum says about a file.
std::string sha256sumOf(const std::filesystem::path& file) {
    return commandOutput("sha256sum " + shellQuoted(file)).value_or("").substr(0, 64);
}

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    return bytes;
}

}  // namespace

TEST(Sha256, FipsExamples) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopq"
         "rstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [message, digest] : cases) {
        EXPECT_EQ(hexText(sha256(message)), digest) << message.size() << " bytes";
        EXPECT_EQ(hexText(detail::portableSha256(message)), digest) << message.size() << " bytes";
    }
}

// Lengths around the 56- and 64-byte padding edges, given in uneven pieces,
// by both block functions.
TEST(Sha256, PiecesAndBlockFunctionsAgree) {
    if (!detail::hasShaInstructions()) std::puts("note: no SHA instructions here; only the portable path runs");
    for (std::size_t size : {1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u, 4099u}) {
        const std::string bytes = randomBytes(size, static_cast<unsigned>(size));
        const Sha256Digest whole = sha256(bytes);
        EXPECT_EQ(whole, detail::portableSha256(bytes)) << size;
        for (std::size_t piece : {1u, 7u, 63u, 64u, 100u}) {
            Sha256 hasher;
            for (std::size_t at = 0; at < size; at += piece) hasher.update(std::string_view(bytes).substr(at, piece));
            EXPECT_EQ(hasher.finish(), whole) << size << " in pieces of " << piece;
        }
    }
}

TEST(Sha256, FilesMatchSha256sum) {
    TempDir dir;
    // Empty, within one read, and across several reads of the fixed buffer.
    for (std::size_t size : {0u, 65u, 256u * 1024u, 3u * 256u * 1024u + 17u}) {
        const auto file = dir / ("f" + std::to_string(size));
        writeFile(file, randomBytes(size, 7));
        auto digest = sha256OfFile(file);
        ASSERT_TRUE(digest) << size;
        EXPECT_EQ(hexText(*digest), sha256sumOf(file)) << size;
    }
    EXPECT_EQ(sha256OfFile(dir / "absent").error(), std::errc::no_such_file_or_directory);
    EXPECT_EQ(sha256OfFile(dir.path()).error(), std::errc::is_a_directory);
}
