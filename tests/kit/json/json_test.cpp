#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "kit/json/value.h"
#include "kit/json/writer.h"

using namespace veltrop::json;

namespace {

std::string written(const Value& value, Repair repair = Repair::none, Layout layout = Layout::indented) {
    auto text = write(value, repair, layout);
    EXPECT_TRUE(text) << text.error().description();
    return text ? *text : std::string();
}

TEST(JsonWriter, WritesEachKindInTheStoredForm) {
    struct Case {
        Value value;
        std::string expected;
    };
    const Case cases[] = {
        {Value(), "null"},
        {Value(true), "true"},
        {Value(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808"},
        {Value(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615"},
        // Doubles in the shortest form that reads back as the same value.
        {Value(1.0), "1"}, {Value(0.1), "0.1"}, {Value(0.95), "0.95"}, {Value(0.1 + 0.2), "0.30000000000000004"},
        {Value(1e21), "1e+21"}, {Value(123456789.0), "123456789"}, {Value(-2.5e-8), "-2.5e-08"},
        {Value("a/b \"q\" \\ \u00e9\u2014"), "\"a\\/b \\\"q\\\" \\\\ \u00e9\u2014\""},
        {Value("tab\tnl\n\x1f\x7f"), "\"tab\\u0009nl\\u000A\\u001F\x7f\""},
        {Value(Array{}), "[]"},
        {Value(Object{}), "{}"},
        {Value(Object{{"b", 1}, {"a", Array{true, Value()}}}), "{\n  \"b\": 1,\n  \"a\": [\n    true,\n    null\n  ]\n}"},
    };
    for (const auto& c : cases) EXPECT_EQ(written(c.value), c.expected);
    // The compact layout has no spaces or line breaks.
    const Value value(Object{{"/x", Object{{"k", "v"}}}, {"n", Array{1, 2}}});
    EXPECT_EQ(written(value, Repair::none, Layout::compact), "{\"\\/x\":{\"k\":\"v\"},\"n\":[1,2]}");
}

TEST(JsonWriter, BadTextAndNumbersFailOrAreRepaired) {
    const Value badText(Object{{"k", std::string("a\xFF" "b\xE2\x82")}});
    const Value infinite(Array{std::numeric_limits<double>::infinity(), std::nan("")});
    EXPECT_EQ(write(badText).error().kind, WriteError::Kind::invalidText);
    EXPECT_EQ(write(Value(Object{{std::string("\xC0\x80"), 1}})).error().kind, WriteError::Kind::invalidText);
    EXPECT_EQ(write(infinite).error().kind, WriteError::Kind::nonFiniteNumber);
    EXPECT_EQ(written(badText, Repair::replace), "{\n  \"k\": \"a\uFFFDb\uFFFD\uFFFD\"\n}");
    EXPECT_EQ(written(infinite, Repair::replace), "[\n  null,\n  null\n]");
}

TEST(JsonWriter, AnotherParserReadsBackWhatWasWritten) {
    const std::string text = "line\nbreak \u2028 / \"quoted\" \x01 \U0001F600";
    const Value value(Object{{"text", text}, {"number", 1e300}, {"small", -0.000123}, {"list", Array{1, "two"}}});
    const auto read = nlohmann::json::parse(written(value));
    EXPECT_EQ(read["text"], text);
    EXPECT_EQ(read["number"].get<double>(), 1e300);
    EXPECT_EQ(read["small"].get<double>(), -0.000123);
    EXPECT_EQ(read["list"], (nlohmann::json{1, "two"}));
}

TEST(JsonParser, KeepsNumberKindsAndOrder) {
    const auto value = parse(R"({"z": 1, "a": -1, "f": 1.0, "big": 18446744073709551615})");
    ASSERT_TRUE(value) << value.error().description();
    const Object& members = *value->object();
    ASSERT_EQ(members.size(), 4u);
    EXPECT_EQ(members[0].key, "z");
    EXPECT_EQ(members[1].key, "a");
    ASSERT_TRUE(value->find("a")->integer());
    EXPECT_EQ(*value->find("a")->integer(), -1);
    ASSERT_TRUE(value->find("f")->floating());
    ASSERT_TRUE(value->find("big")->unsignedInteger());
    EXPECT_EQ(*value->find("big")->unsignedInteger(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(value->find("missing"), nullptr);
    EXPECT_EQ(value->find("a")->number(), -1.0);
}

TEST(JsonParser, RefusesADuplicateKeyWithWhereItIsAndANulByte) {
    const auto twice = parse(R"({"a": {"list": [{"x": 1}, {"x": 1, "y": [], "x": 2}]}})");
    ASSERT_FALSE(twice);
    EXPECT_EQ(twice.error().kind, veltrop::json::ParseError::Kind::duplicateKey);
    EXPECT_EQ(twice.error().objectPath, "a.list[1]");
    EXPECT_EQ(twice.error().key, "x");
    const auto top = parse(R"({"k": 1, "k": 1})");
    ASSERT_FALSE(top);
    EXPECT_EQ(top.error().objectPath, "");

    // The parser would stop at the NUL and take the text before it.
    const auto nul = parse(std::string("{\"a\": 1}\0{\"b\": 2}", 17));
    ASSERT_FALSE(nul);
    EXPECT_EQ(nul.error().kind, veltrop::json::ParseError::Kind::syntax);
    EXPECT_NE(nul.error().message.find("NUL"), std::string::npos);
}

TEST(JsonParser, RefusesBadTextWithTheParsersReasonAndBoundsTheNesting) {
    for (const std::string text : {"", "{", "[1,]", "{\"a\" 1}", "1 2", "\"\xFF\"", "nul", "{\"a\":1}}"}) {
        const auto value = parse(text);
        ASSERT_FALSE(value) << text;
        EXPECT_FALSE(value.error().message.empty());
        EXPECT_EQ(value.error().message.find("[json.exception"), std::string::npos) << value.error().message;
    }
    const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
    EXPECT_TRUE(parse(nested(512)));
    const auto deep = parse(nested(100000));
    ASSERT_FALSE(deep);
    EXPECT_NE(deep.error().message.find("nesting"), std::string::npos);
}

}  // namespace
