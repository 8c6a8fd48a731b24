#pragma once
// What the commands print as JSON, built as the kit's JSON values and written
// through the program's one JSON writer, so that every JSON text the program
// prints has the same form.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "kit/dates/capture_date.h"
#include "kit/json/value.h"
#include "kit/records/photo_record.h"

namespace veltrop::cli {

// The CaptureDate JSON object, or null.
json::Value dateJson(const std::optional<dates::CaptureDate>& date);

// Every PhotoRecord field under its own name; dates as dateJson, absent values null.
json::Value recordJson(const records::PhotoRecord& record);

json::Value stringsJson(const std::vector<std::string>& texts);

template <class T>
json::Value orNull(const std::optional<T>& value) {
    return value ? json::Value(*value) : json::Value();
}

// Text that is not UTF-8 (file names may hold anything) is written with U+FFFD.
void printJson(std::ostream& out, const json::Value& value);

}  // namespace veltrop::cli
