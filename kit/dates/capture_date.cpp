#include "kit/dates/capture_date.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "kit/dates/text.h"

namespace veltrop::dates {

namespace {

struct SourceInfo {
    CaptureDateSource source;
    std::string_view raw;
    std::string_view label;
};

constexpr std::array<SourceInfo, 5> sourceTable{{
    {CaptureDateSource::dateTimeOriginal, "dateTimeOriginal", "EXIF capture date"},
    {CaptureDateSource::dateTimeDigitized, "dateTimeDigitized", "EXIF digitised date"},
    {CaptureDateSource::tiffDateTime, "tiffDateTime", "TIFF date"},
    {CaptureDateSource::fileDate, "fileDate", "File date"},
    {CaptureDateSource::suppliedDate, "suppliedDate", "User-supplied date"},
}};

const SourceInfo& info(CaptureDateSource source) {
    for (const auto& entry : sourceTable)
        if (entry.source == source) return entry;
    return sourceTable.front();
}

// An optional single sign and one or more ASCII digits, nothing else.
std::optional<std::int64_t> parseInteger(std::string_view piece) {
    bool negative = false;
    if (!piece.empty() && (piece.front() == '+' || piece.front() == '-')) {
        negative = piece.front() == '-';
        piece.remove_prefix(1);
    }
    if (piece.empty()) return std::nullopt;
    for (char c : piece)
        if (c < '0' || c > '9') return std::nullopt;
    // Parse with the sign attached so that the minimum value is reachable.
    std::string signedText = (negative ? "-" : "") + std::string(piece);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(signedText.data(), signedText.data() + signedText.size(), value);
    if (error != std::errc{} || end != signedText.data() + signedText.size()) return std::nullopt;
    return value;
}

bool isLeapYear(std::int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

}  // namespace

std::string_view rawValue(CaptureDateSource source) { return info(source).raw; }

std::optional<CaptureDateSource> captureDateSourceFromRaw(std::string_view raw) {
    for (const auto& entry : sourceTable)
        if (entry.raw == raw) return entry.source;
    return std::nullopt;
}

std::string_view label(CaptureDateSource source) { return info(source).label; }

bool isEmbedded(CaptureDateSource source) {
    return source == CaptureDateSource::dateTimeOriginal || source == CaptureDateSource::dateTimeDigitized ||
           source == CaptureDateSource::tiffDateTime;
}

int daysInMonth(std::int64_t year, std::int64_t month) {
    switch (month) {
        case 1: case 3: case 5: case 7: case 8: case 10: case 12: return 31;
        case 4: case 6: case 9: case 11: return 30;
        case 2: return isLeapYear(year) ? 29 : 28;
        default: return 0;
    }
}

std::string text(const CaptureDate& date) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                  static_cast<long long>(date.year), static_cast<long long>(date.month),
                  static_cast<long long>(date.day), static_cast<long long>(date.hour),
                  static_cast<long long>(date.minute), static_cast<long long>(date.second));
    return buffer;
}

namespace CaptureDateReader {

std::optional<CaptureDate> parseExifText(std::string_view text, CaptureDateSource source) {
    const auto words = splitDroppingEmpty(text, ' ');
    if (words.size() < 2) return std::nullopt;
    const auto dateParts = splitDroppingEmpty(words[0], ':');
    const auto timeParts = splitDroppingEmpty(words[1], ':');
    if (dateParts.size() != 3 || timeParts.size() < 3) return std::nullopt;

    std::int64_t values[6];
    const std::string_view pieces[6] = {dateParts[0], dateParts[1], dateParts[2],
                                        timeParts[0], timeParts[1], timeParts[2]};
    for (int i = 0; i < 6; ++i) {
        auto value = parseInteger(pieces[i]);
        if (!value) return std::nullopt;
        values[i] = *value;
    }
    const CaptureDate date{values[0], values[1], values[2], values[3], values[4], values[5], source};
    if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1 || date.hour < 0 || date.hour > 23 ||
        date.minute < 0 || date.minute > 59 || date.second < 0 || date.second > 60)
        return std::nullopt;
    if (date.day > daysInMonth(date.year, date.month)) return std::nullopt;
    return date;
}

std::optional<CaptureDate> readRecordedDate(const PropertyDictionary& properties) {
    const PropertyDictionary& exif = group(properties, keys::exif);
    const PropertyDictionary& tiff = group(properties, keys::tiff);
    const std::pair<const PropertyValue*, CaptureDateSource> candidates[] = {
        {find(exif, keys::dateTimeOriginal), CaptureDateSource::dateTimeOriginal},
        {find(exif, keys::dateTimeDigitized), CaptureDateSource::dateTimeDigitized},
        {find(tiff, keys::dateTime), CaptureDateSource::tiffDateTime},
    };
    for (const auto& [value, source] : candidates) {
        if (value == nullptr || value->string() == nullptr) continue;
        if (auto date = parseExifText(*value->string(), source)) return date;
    }
    return std::nullopt;
}

std::optional<CaptureDate> readFileDate(const FileDates& file) {
    // Copying a file (cp, rsync, card readers) gives it a new birth time but
    // keeps its modification time, so the earlier of the two is nearer the capture.
    auto local = file.creation;
    if (file.modification && (!local || *file.modification < *local)) local = file.modification;
    if (!local) return std::nullopt;
    return CaptureDate{local->year, local->month, local->day, local->hour, local->minute, local->second,
                       CaptureDateSource::fileDate};
}

}  // namespace CaptureDateReader

}  // namespace veltrop::dates
