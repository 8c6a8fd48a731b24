#pragma once
// What the commands print as JSON. Values are built with nlohmann::json and
// written through the program's one JSON writer, so every JSON text the
// program prints has the same form: sorted keys, pretty printed.

#include <iosfwd>
#include <optional>

#include <nlohmann/json.hpp>

#include "kit/dates/capture_date.h"
#include "kit/records/photo_record.h"

namespace veltrop::cli {

// The CaptureDate JSON object, or null.
nlohmann::json dateJson(const std::optional<dates::CaptureDate>& date);

// Every PhotoRecord field under its own name; dates as dateJson, absent values null.
nlohmann::json recordJson(const records::PhotoRecord& record);

// Text that is not UTF-8 (file names may hold anything) is written with U+FFFD.
void printJson(std::ostream& out, const nlohmann::json& value);

}  // namespace veltrop::cli
