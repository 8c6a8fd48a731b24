#pragma once
// How the clock check is printed: the per-camera table, the suggested
// corrections with their evidence, and the JSON form. `clocks` prints all
// three; other commands can print the suggestions under their own output.

#include <iosfwd>
#include <span>
#include <string>

#include "kit/json/value.h"
#include "kit/records/clock_check.h"

namespace veltrop::cli {

// One row per clock: camera, photos, GPS times used and left out, zone,
// clock error, spread and the shift to use; notes follow the table.
void printClockTable(std::ostream& out, const records::ClockCheck& check);

// "Suggested corrections": each --shift, shell-quoted, with its evidence.
void printClockProposals(std::ostream& out, std::span<const records::ClockProposal> proposals);

json::Value clockEstimateJson(const records::ClockEstimate& estimate);
json::Value clockProposalJson(const records::ClockProposal& proposal);

// The text quoted for a POSIX shell when it needs quoting.
std::string shellQuoted(const std::string& text);

}  // namespace veltrop::cli
