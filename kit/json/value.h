#pragma once
// A JSON value as the program's own type, so that no JSON library's types
// appear outside this layer. Objects keep their members in insertion order;
// numbers keep the kind they were read as, so that readers can tell 1 from
// 1.0 and from a value too large for a signed integer.

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrop::json {

struct Member;
class Value;
using Array = std::vector<Value>;
using Object = std::vector<Member>;

class Value {
public:
    // Defined below Member: building the variant needs Member complete.
    Value();  // null
    Value(std::nullptr_t);
    Value(bool value);
    Value(int value);
    Value(std::int64_t value);
    Value(std::uint64_t value);
    Value(double value);
    Value(const char* text);
    Value(std::string_view text);
    Value(std::string text);
    Value(Array elements);
    Value(Object members);

    bool isNull() const { return std::holds_alternative<std::nullptr_t>(data_); }
    // Each of these is null when the value is of another kind.
    const bool* boolean() const { return std::get_if<bool>(&data_); }
    const std::int64_t* integer() const { return std::get_if<std::int64_t>(&data_); }  // negative integers
    const std::uint64_t* unsignedInteger() const { return std::get_if<std::uint64_t>(&data_); }
    const double* floating() const { return std::get_if<double>(&data_); }  // written with a fraction or exponent
    const std::string* string() const { return std::get_if<std::string>(&data_); }
    const Array* array() const { return std::get_if<Array>(&data_); }
    const Object* object() const { return std::get_if<Object>(&data_); }
    Array* array() { return std::get_if<Array>(&data_); }
    Object* object() { return std::get_if<Object>(&data_); }

    bool isNumber() const { return integer() || unsignedInteger() || floating(); }
    // Any number as a double; 0 for anything else.
    double number() const;

    // The member of an object; null for a missing key or a value that is not an object.
    const Value* find(std::string_view key) const;
    // Sets a member of an object, replacing one of the same key in place.
    // A value that is not an object becomes one first.
    void set(std::string_view key, Value value);

    bool operator==(const Value&) const = default;

private:
    std::variant<std::nullptr_t, bool, std::int64_t, std::uint64_t, double, std::string, Array, Object> data_;
};

struct Member {
    std::string key;
    Value value;
    bool operator==(const Member&) const = default;
};

inline Value::Value() = default;
inline Value::Value(std::nullptr_t) {}
inline Value::Value(bool value) : data_(value) {}
inline Value::Value(int value) : data_(static_cast<std::int64_t>(value)) {}
inline Value::Value(std::int64_t value) : data_(value) {}
inline Value::Value(std::uint64_t value) : data_(value) {}
inline Value::Value(double value) : data_(value) {}
inline Value::Value(const char* text) : data_(std::string(text)) {}
inline Value::Value(std::string_view text) : data_(std::string(text)) {}
inline Value::Value(std::string text) : data_(std::move(text)) {}
inline Value::Value(Array elements) : data_(std::move(elements)) {}
inline Value::Value(Object members) : data_(std::move(members)) {}

struct ParseError {
    enum class Kind {
        syntax,        // message: the parser's, e.g. "syntax error while parsing value - …"
        duplicateKey,  // key: given twice in the object at objectPath
    };
    Kind kind = Kind::syntax;
    std::string message;
    std::string objectPath;  // "" for the top level, else like "configuration.style" or "presets[0]"
    std::string key;
    std::string description() const { return message; }
    bool operator==(const ParseError&) const = default;
};

// Strict RFC 8259 text: one value, nothing but whitespace around it. A key
// given twice in one object is refused (parsers disagree on which one counts),
// and so is a NUL byte anywhere.
[[nodiscard]] std::expected<Value, ParseError> parse(std::string_view text);

}  // namespace veltrop::json
