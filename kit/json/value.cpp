#include "kit/json/value.h"

#include <nlohmann/json.hpp>

#include <unordered_set>

namespace veltrop::json {

namespace {

// Deeper nesting is refused: the parsed value is freed recursively.
constexpr std::size_t maximumDepth = 512;

// Builds a Value straight from the parser's events, without an intermediate tree.
class Builder {
public:
    using Library = nlohmann::ordered_json;

    Value root;
    std::optional<ParseError> error;

    bool null() { return add(Value()); }
    bool boolean(bool value) { return add(Value(value)); }
    bool number_integer(Library::number_integer_t value) { return add(Value(static_cast<std::int64_t>(value))); }
    bool number_unsigned(Library::number_unsigned_t value) { return add(Value(static_cast<std::uint64_t>(value))); }
    bool number_float(Library::number_float_t value, const Library::string_t&) { return add(Value(value)); }
    bool string(Library::string_t& value) { return add(Value(std::move(value))); }
    bool binary(Library::binary_t&) { return fail("binary values are not JSON"); }
    bool start_object(std::size_t) { return open(Value(Object{})); }
    bool key(Library::string_t& value) {
        Frame& object = frames_.back();
        if (!object.keys.insert(value).second) {
            error = ParseError{ParseError::Kind::duplicateKey, "the key \u201C" + value + "\u201D is given twice",
                               object.path, value};
            return false;
        }
        key_ = std::move(value);
        return true;
    }
    bool end_object() { return close(); }
    bool start_array(std::size_t) { return open(Value(Array{})); }
    bool end_array() { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& exception) {
        // Drop the library's "[json.exception.parse_error.101] " tag.
        std::string message = exception.what();
        if (const auto tagEnd = message.find("] "); message.starts_with("[") && tagEnd != std::string::npos)
            message.erase(0, tagEnd + 2);
        return fail(std::move(message));
    }

private:
    struct Frame {
        Value* container;
        std::unordered_set<std::string> keys;  // objects only
        std::string path;                      // where the container sits, as ParseError writes it
    };

    // Only the innermost open container changes, so the pointers below it stay valid.
    Value* add(Value value) {
        if (frames_.empty()) {
            root = std::move(value);
            return &root;
        }
        Frame& frame = frames_.back();
        if (Array* array = frame.container->array()) {
            array->push_back(std::move(value));
            return &array->back();
        }
        Object& object = *frame.container->object();
        object.push_back({std::move(key_), std::move(value)});
        return &object.back().value;
    }

    // Where a container opened now sits: "style" inside "configuration" is
    // "configuration.style", the first element of "presets" is "presets[0]".
    std::string nextPath() const {
        if (frames_.empty()) return {};
        const Frame& parent = frames_.back();
        if (const Array* array = parent.container->array())
            return parent.path + "[" + std::to_string(array->size()) + "]";
        return parent.path.empty() ? key_ : parent.path + "." + key_;
    }
    bool open(Value container) {
        if (frames_.size() >= maximumDepth)
            return fail("nesting deeper than " + std::to_string(maximumDepth) + " levels");
        std::string path = nextPath();
        frames_.push_back({add(std::move(container)), {}, std::move(path)});
        return true;
    }
    bool close() {
        frames_.pop_back();
        return true;
    }
    bool fail(std::string message) {
        error = ParseError{ParseError::Kind::syntax, std::move(message), {}, {}};
        return false;
    }

    std::vector<Frame> frames_;
    std::string key_;
};

}  // namespace

double Value::number() const {
    if (const auto* value = integer()) return static_cast<double>(*value);
    if (const auto* value = unsignedInteger()) return static_cast<double>(*value);
    if (const auto* value = floating()) return *value;
    return 0;
}

const Value* Value::find(std::string_view key) const {
    const Object* members = object();
    if (members == nullptr) return nullptr;
    for (const Member& member : *members)
        if (member.key == key) return &member.value;
    return nullptr;
}

void Value::set(std::string_view key, Value value) {
    if (object() == nullptr) data_ = Object{};
    Object& members = *object();
    for (Member& member : members) {
        if (member.key == key) {
            member.value = std::move(value);
            return;
        }
    }
    members.push_back({std::string(key), std::move(value)});
}

std::expected<Value, ParseError> parse(std::string_view text) {
    // The parser would stop at a NUL and ignore whatever follows it.
    if (const auto nul = text.find('\0'); nul != std::string_view::npos)
        return std::unexpected(ParseError{ParseError::Kind::syntax,
                                          "byte " + std::to_string(nul + 1) +
                                              " is a NUL byte, which JSON does not allow",
                                          {}, {}});
    Builder builder;
    const bool parsed = Builder::Library::sax_parse(text.begin(), text.end(), &builder);
    if (!parsed)
        return std::unexpected(
            builder.error.value_or(ParseError{ParseError::Kind::syntax, "the text is not valid JSON", {}, {}}));
    return std::move(builder.root);
}

}  // namespace veltrop::json
