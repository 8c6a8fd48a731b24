#pragma once
// The one writer of every JSON text the program prints or stores: members in
// the order the object holds them, "/" written as "\/", control characters as
// \u00XX, everything else (UTF-8 included) as is, and numbers in their
// shortest exact form (1.0 as "1"). Printed texts are indented by two spaces
// with ": " after keys; files only the program reads may be compact.

#include <expected>
#include <string>

#include "kit/json/value.h"

namespace veltrop::json {

struct WriteError {
    enum class Kind { invalidText, nonFiniteNumber };
    Kind kind = Kind::invalidText;
    bool operator==(const WriteError&) const = default;
    std::string description() const;
};

enum class Repair {
    none,     // text that is not UTF-8 or a number that is not finite fails the write
    replace,  // such text gets U+FFFD for each bad byte, such a number becomes null
};

enum class Layout { indented, compact };

[[nodiscard]] std::expected<std::string, WriteError> write(const Value& value, Repair repair = Repair::none,
                                                           Layout layout = Layout::indented);

// RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF; the
// rule the parser applies, so whatever is written can be read back.
bool isValidUtf8(std::string_view text);

// The shortest text that reads back as exactly this double ("1", "0.1", "1e+30").
std::string shortestNumber(double value);

}  // namespace veltrop::json
