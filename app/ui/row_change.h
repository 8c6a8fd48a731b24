#pragma once
// How a table model's rows changed when a new list replaces the old one:
// other photos (or another order) need a reset; the same photos need one
// notice for the span of rows whose texts differ, or none.

#include <algorithm>
#include <cstddef>
#include <vector>

namespace veltrop::app {

struct RowChange {
    bool reset = false;
    int first = -1, last = -1;  // the changed span; -1 when nothing changed
};

template <class Row>
RowChange rowChange(const std::vector<Row>& current, const std::vector<Row>& next) {
    const bool sameLocations =
        next.size() == current.size() &&
        std::equal(next.begin(), next.end(), current.begin(),
                   [](const Row& a, const Row& b) { return a.location == b.location; });
    if (!sameLocations) return {true, -1, -1};
    RowChange change;
    for (std::size_t i = 0; i < next.size(); ++i) {
        if (next[i] == current[i]) continue;
        if (change.first < 0) change.first = static_cast<int>(i);
        change.last = static_cast<int>(i);
    }
    return change;
}

}  // namespace veltrop::app
