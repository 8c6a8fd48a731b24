#include "kit/json/value.h"

#include <nlohmann/json.hpp>

#include <unordered_map>

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
        std::unordered_map<std::string, std::size_t> members;  // key to index, objects only
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
        const auto [found, inserted] = frame.members.try_emplace(key_, object.size());
        if (inserted) {
            object.push_back({std::move(key_), std::move(value)});
            return &object.back().value;
        }
        object[found->second].value = std::move(value);
        return &object[found->second].value;
    }
    bool open(Value container) {
        if (frames_.size() >= maximumDepth)
            return fail("nesting deeper than " + std::to_string(maximumDepth) + " levels");
        frames_.push_back({add(std::move(container)), {}});
        return true;
    }
    bool close() {
        frames_.pop_back();
        return true;
    }
    bool fail(std::string message) {
        error = ParseError{std::move(message)};
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
    Builder builder;
    const bool parsed = Builder::Library::sax_parse(text.begin(), text.end(), &builder);
    if (!parsed) return std::unexpected(builder.error.value_or(ParseError{"the text is not valid JSON"}));
    return std::move(builder.root);
}

}  // namespace veltrop::json
