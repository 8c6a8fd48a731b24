#pragma once
// What a batch's correction rules do to its photos: rules that reach no
// photo (usually a mistyped camera or folder), and how many dates each rule
// changes.

#include <cstddef>
#include <span>
#include <vector>

#include "kit/records/discovered_photo.h"
#include "kit/records/date_correction.h"
#include "kit/settings/stamp_configuration.h"

namespace veltrop::records {

// Positions in the list of the rules whose scope matches none of the photos.
std::vector<std::size_t> rulesMatchingNothing(std::span<const DateCorrectionRule> rules,
                                              std::span<const records::DiscoveredPhoto> photos);

// For every rule, in list order: the photos that take their date from it
// (it is their most recent matching rule) and end up with a date other than
// their base date. A shift of a photo without a date, or a correction that
// fails, changes nothing.
std::vector<std::size_t> changedPhotoCounts(std::span<const DateCorrectionRule> rules,
                                            std::span<const records::DiscoveredPhoto> photos,
                                            const settings::StampConfiguration& configuration);

}  // namespace veltrop::records
