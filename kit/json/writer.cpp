#include "kit/json/writer.h"

#include "kit/image/utf8.h"

#include <charconv>
#include <cmath>

namespace veltrop::json {

namespace {

// Thrown inside this file only; write() turns it into a value.
struct Failure {
    WriteError error;
};

// The length of the well-formed UTF-8 sequence at `index`, or 0.
std::size_t sequenceLength(std::string_view text, std::size_t index) {
    const image::DecodedCharacter character = image::decodeCharacter(text, index);
    return character.valid ? character.length : 0;
}

class Writer {
public:
    Writer(Repair repair, Layout layout) : repair_(repair), layout_(layout) {}

    std::string take() { return std::move(out_); }

    void value(const Value& value, std::size_t depth) {
        if (const Object* members = value.object()) {
            if (members->empty()) {
                out_ += "{}";
                return;
            }
            out_.push_back('{');
            bool first = true;
            for (const Member& member : *members) {
                if (!first) out_.push_back(',');
                first = false;
                newline(depth + 1);
                string(member.key);
                out_ += layout_ == Layout::indented ? ": " : ":";
                this->value(member.value, depth + 1);
            }
            newline(depth);
            out_.push_back('}');
        } else if (const Array* elements = value.array()) {
            if (elements->empty()) {
                out_ += "[]";
                return;
            }
            out_.push_back('[');
            bool first = true;
            for (const Value& element : *elements) {
                if (!first) out_.push_back(',');
                first = false;
                newline(depth + 1);
                this->value(element, depth + 1);
            }
            newline(depth);
            out_.push_back(']');
        } else if (const std::string* text = value.string()) {
            string(*text);
        } else if (const bool* flag = value.boolean()) {
            out_ += *flag ? "true" : "false";
        } else if (const std::int64_t* integer = value.integer()) {
            number(*integer);
        } else if (const std::uint64_t* unsignedInteger = value.unsignedInteger()) {
            number(*unsignedInteger);
        } else if (const double* floating = value.floating()) {
            if (std::isfinite(*floating)) {
                out_ += shortestNumber(*floating);
            } else if (repair_ == Repair::replace) {
                out_ += "null";
            } else {
                throw Failure{{WriteError::Kind::nonFiniteNumber}};
            }
        } else {
            out_ += "null";
        }
    }

private:
    void newline(std::size_t depth) {
        if (layout_ == Layout::compact) return;
        out_.push_back('\n');
        out_.append(depth * 2, ' ');
    }

    template <class Integer>
    void number(Integer value) {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        out_.append(buffer, result.ptr);
    }

    void string(std::string_view text) {
        static constexpr char hex[] = "0123456789ABCDEF";
        out_.push_back('"');
        for (std::size_t i = 0; i < text.size();) {
            const char c = text[i];
            const std::size_t length = sequenceLength(text, i);
            if (length == 0) {
                if (repair_ != Repair::replace) throw Failure{{WriteError::Kind::invalidText}};
                out_ += "\uFFFD";
                ++i;
                continue;
            }
            if (length > 1) {
                out_.append(text.substr(i, length));
                i += length;
                continue;
            }
            switch (c) {
                case '"': out_ += "\\\""; break;
                case '\\': out_ += "\\\\"; break;
                case '/': out_ += "\\/"; break;
                default:
                    if (static_cast<unsigned char>(c) < 0x20) {
                        out_ += "\\u00";
                        out_.push_back(hex[(c >> 4) & 0x0F]);
                        out_.push_back(hex[c & 0x0F]);
                    } else {
                        out_.push_back(c);
                    }
            }
            ++i;
        }
        out_.push_back('"');
    }

    Repair repair_;
    Layout layout_;
    std::string out_;
};

}  // namespace

std::string WriteError::description() const {
    switch (kind) {
        case Kind::invalidText: return "The text is not valid UTF-8 and cannot be written as JSON";
        case Kind::nonFiniteNumber: return "The number is not finite and cannot be written as JSON";
    }
    return {};
}

bool isValidUtf8(std::string_view text) { return image::isValidUtf8(text); }

std::string shortestNumber(double value) {
    // "-0" would read back as the integer 0 and be written "0" the next time.
    if (value == 0) return "0";
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::expected<std::string, WriteError> write(const Value& value, Repair repair, Layout layout) {
    Writer writer(repair, layout);
    try {
        writer.value(value, 0);
    } catch (const Failure& failure) {
        return std::unexpected(failure.error);
    }
    return writer.take();
}

}  // namespace veltrop::json
