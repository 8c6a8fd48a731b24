// The kit's one UTF-8 decoder and white-space table, checked against
// utf8proc (the Unicode library the platform layer adapts) over every code
// point and every short byte sequence, and the kit's text entry points
// checked to agree with it.

#include "kit/image/utf8.h"

#include <gtest/gtest.h>
#include <utf8proc.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "kit/dates/text.h"
#include "kit/platform/unicode.h"
#include "kit/platform/utf8_text.h"
#include "kit/settings/settings_json.h"

namespace veltrop::image {
namespace {

// utf8proc's reading of the bytes at the start: the code point and length, or nothing.
std::optional<std::pair<char32_t, std::size_t>> reference(std::string_view bytes) {
    utf8proc_int32_t codepoint = -1;
    const auto length = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(bytes.data()),
                                         static_cast<utf8proc_ssize_t>(bytes.size()), &codepoint);
    if (length <= 0) return std::nullopt;
    return std::pair{static_cast<char32_t>(codepoint), static_cast<std::size_t>(length)};
}

void expectAgreement(std::string_view bytes) {
    const DecodedCharacter ours = decodeCharacter(bytes, 0);
    const auto theirs = reference(bytes);
    ASSERT_EQ(ours.valid, theirs.has_value());
    if (theirs) {
        ASSERT_EQ(ours.value, theirs->first);
        ASSERT_EQ(ours.length, theirs->second);
    } else {
        ASSERT_EQ(ours.value, U'\uFFFD');
        ASSERT_EQ(ours.length, 1u);
    }
}

TEST(Utf8, AgreesWithUtf8procOnEverySequenceUpToThreeBytes) {
    std::string bytes(3, '\0');
    for (int a = 0; a < 256; ++a) {
        bytes.resize(1);
        bytes[0] = static_cast<char>(a);
        expectAgreement(bytes);
        for (int b = 0; b < 256; ++b) {
            bytes.resize(2);
            bytes[1] = static_cast<char>(b);
            expectAgreement(bytes);
            if (a < 0xE0) continue;  // longer tails cannot change a one- or two-byte reading
            bytes.resize(3);
            for (int c = 0; c < 256; ++c) {
                bytes[2] = static_cast<char>(c);
                expectAgreement(bytes);
            }
        }
    }
}

TEST(Utf8, AgreesWithUtf8procOnFourByteSequences) {
    std::string bytes(4, '\0');
    for (int a = 0xF0; a < 0x100; ++a)
        for (int b = 0; b < 256; ++b)
            for (int c : {0x00, 0x7F, 0x80, 0xBF, 0xC0})
                for (int d : {0x41, 0x80, 0xBF, 0xFF}) {
                    bytes = {static_cast<char>(a), static_cast<char>(b), static_cast<char>(c), static_cast<char>(d)};
                    expectAgreement(bytes);
                }
}

TEST(Utf8, StrictCasesAndMalformedBytesTakeOneCharacterEach) {
    const struct {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"A", true},
        {"\xC2\xA0", true},
        {"\xF0\x9F\x98\x80", true},
        {"\xF4\x8F\xBF\xBF", true},        // U+10FFFF
        {"\xC0\x80", false},                // overlong NUL
        {"\xE0\x80\xAF", false},            // overlong solidus
        {"\xF0\x80\x80\xAF", false},        // overlong solidus, four bytes
        {"\xED\xA0\x80", false},            // a surrogate
        {"\xF4\x90\x80\x80", false},        // past U+10FFFF
        {"\xE2\x82", false},                // cut short
        {"\x80", false},                    // a stray continuation byte
        {"\xF8\x88\x80\x80\x80", false},    // five-byte form
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.bytes));
        EXPECT_EQ(isValidUtf8(c.bytes), c.valid);
        // Every part of the kit that reads text agrees.
        std::size_t characters = 0;
        forEachCodePoint(c.bytes, [&](char32_t) { ++characters; });
        EXPECT_EQ(characters, c.valid ? 1u : c.bytes.size());
        EXPECT_EQ(platform::graphemeEnds(c.bytes).size(), characters);
        const std::string repaired = platform::validUtf8(c.bytes);
        EXPECT_EQ(repaired == c.bytes, c.valid);
        EXPECT_TRUE(isValidUtf8(repaired));
        EXPECT_EQ(platform::nfc(c.bytes), c.bytes);  // valid text is already composed; invalid is left alone
        settings::StampConfiguration configuration;
        configuration.strip.label = c.bytes;
        EXPECT_EQ(settings::encodeStampConfiguration(configuration).has_value(), c.valid);
    }
}

TEST(Utf8, NormalisesAndFoldsAsUtf8procDoes) {
    const auto mapped = [](std::string_view text, int options) {
        utf8proc_uint8_t* result = nullptr;
        const auto length = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                                         static_cast<utf8proc_ssize_t>(text.size()), &result,
                                         static_cast<utf8proc_option_t>(options));
        std::string out = length >= 0 ? std::string(reinterpret_cast<const char*>(result), length) : "(error)";
        std::free(result);
        return out;
    };
    // Decomposed letters, reordered marks, Hangul jamo, the sharp s, Greek final sigma, emoji.
    for (std::string_view text : {"", "e\u0301", "a\u0323\u0302", "a\u0302\u0323", "\u1100\u1161\u11A8",
                                  "Stra\u00DFe", "\u039F\u0394\u039F\u03A3", "\u212B", "\U0001F600 \u00C5x"}) {
        SCOPED_TRACE(::testing::PrintToString(std::string(text)));
        EXPECT_EQ(platform::nfc(text), mapped(text, UTF8PROC_STABLE | UTF8PROC_COMPOSE));
        EXPECT_EQ(platform::caseFolded(text), mapped(text, UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD));
    }
    // Stray bytes are kept as they are.
    EXPECT_EQ(platform::caseFolded("\xff" "A"), "\xff" "a");
}

TEST(Utf8, WhiteSpaceIsTheUnicodeSeparatorsAndTheSpacingControls) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const auto category = utf8proc_category(static_cast<utf8proc_int32_t>(c));
        const bool separator = category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
                               category == UTF8PROC_CATEGORY_ZP;
        const bool control = (c >= 0x09 && c <= 0x0D) || c == 0x85;
        ASSERT_EQ(isWhiteSpace(c), separator || control) << std::hex << static_cast<std::uint32_t>(c);
        ASSERT_EQ(isLineBreak(c), category == UTF8PROC_CATEGORY_ZL || category == UTF8PROC_CATEGORY_ZP ||
                                      (control && c != 0x09))
            << std::hex << static_cast<std::uint32_t>(c);
    }
    EXPECT_EQ(dates::trimmed("\u3000\u00A0 Site A\u2003\n\u2029"), "Site A");
    EXPECT_EQ(dates::trimmed("\u00A0\u200B\u00A0"), "\u200B");
    EXPECT_EQ(dates::trimmed("\xC2 x \xA0"), "\xC2 x \xA0");  // stray bytes are not spaces
}

}  // namespace
}  // namespace veltrop::image
