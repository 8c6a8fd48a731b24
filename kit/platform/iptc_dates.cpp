#include "kit/platform/iptc_dates.h"

#include "kit/platform/exif_dates.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace veltrop::platform {

namespace {

constexpr std::uint8_t dateCreated = 55, timeCreated = 60, digitalDate = 62, digitalTime = 63;

bool overwrite(std::span<std::uint8_t> value, const std::string& text) {
    if (text.size() != value.size() || std::equal(value.begin(), value.end(), text.begin(), text.end())) return false;
    std::copy(text.begin(), text.end(), value.begin());
    return true;
}

}  // namespace

bool setIptcDates(std::span<std::uint8_t> records, const CopyDate& date) {
    char day[64], time[64];
    std::string zone;
    const dates::CaptureDate& d = date.date;
    std::snprintf(day, sizeof day, "%04lld%02lld%02lld", static_cast<long long>(d.year), static_cast<long long>(d.month),
                  static_cast<long long>(d.day));
    std::snprintf(time, sizeof time, "%02lld%02lld%02lld", static_cast<long long>(d.hour),
                  static_cast<long long>(d.minute), static_cast<long long>(d.second));
    if (date.offsetSeconds) {
        zone = offsetText(*date.offsetSeconds);
        std::erase(zone, ':');
    }
    bool changed = false;
    std::size_t at = 0;
    while (at + 5 <= records.size() && records[at] == 0x1C) {
        const std::uint8_t record = records[at + 1], dataset = records[at + 2];
        std::size_t length = std::size_t{records[at + 3]} << 8 | records[at + 4];
        std::size_t start = at + 5;
        if (length & 0x8000) {  // extended: the next bytes hold the length
            const std::size_t digits = length & 0x7FFF;
            if (digits > 4 || start + digits > records.size()) break;
            length = 0;
            for (std::size_t i = 0; i < digits; ++i) length = length << 8 | records[start + i];
            start += digits;
        }
        if (length > records.size() - start) break;
        const auto value = records.subspan(start, length);
        if (record == 2 && (dataset == dateCreated || dataset == digitalDate) && length == 8) {
            changed = overwrite(value, day) || changed;
        } else if (record == 2 && (dataset == timeCreated || dataset == digitalTime) && length == 11) {
            std::string text = time;
            text += !zone.empty() ? zone : std::string(value.begin() + 6, value.end());
            changed = overwrite(value, text) || changed;
        }
        at = start + length;
    }
    return changed;
}

bool setIptcDatesInResources(std::vector<std::uint8_t>& resources, const CopyDate& date) {
    bool changed = false;
    std::size_t at = 0;
    while (at + 12 <= resources.size() && std::equal(resources.begin() + static_cast<std::ptrdiff_t>(at),
                                                     resources.begin() + static_cast<std::ptrdiff_t>(at + 4), "8BIM")) {
        const std::uint32_t id = std::uint32_t{resources[at + 4]} << 8 | resources[at + 5];
        std::size_t cursor = at + 6;
        const std::size_t nameLength = resources[cursor];
        cursor += 1 + nameLength + ((nameLength + 1) % 2);  // the name is padded to an even length
        if (cursor + 4 > resources.size()) break;
        const std::size_t length = std::size_t{resources[cursor]} << 24 | std::size_t{resources[cursor + 1]} << 16 |
                                   std::size_t{resources[cursor + 2]} << 8 | resources[cursor + 3];
        cursor += 4;
        if (length > resources.size() - cursor) break;
        if (id == 0x0404) changed = setIptcDates(std::span(resources).subspan(cursor, length), date) || changed;
        at = cursor + length + (length % 2);
    }
    return changed;
}

}  // namespace veltrop::platform
