// Capture-date and camera-field reading. The input is read three ways: as a
// recorded date text, as a date's JSON form, and as an EXIF block whose
// dates and camera fields are read like a photo's.

#include "harness.h"
#include "kit/dates/capture_date.h"
#include "kit/dates/exif_fields.h"
#include "kit/platform/exif_metadata.h"

namespace veltrop::fuzz {

namespace {

using dates::CaptureDate;
using dates::CaptureDateSource;
namespace reader = dates::CaptureDateReader;

void checkValid(const CaptureDate& date) {
    FUZZ_CHECK(date.year >= 1);
    FUZZ_CHECK(date.month >= 1 && date.month <= 12);
    FUZZ_CHECK(date.day >= 1 && date.day <= dates::daysInMonth(date.year, date.month));
    FUZZ_CHECK(date.hour >= 0 && date.hour <= 23);
    FUZZ_CHECK(date.minute >= 0 && date.minute <= 59);
    FUZZ_CHECK(date.second >= 0 && date.second <= 60);
}

// "YYYY-MM-DD HH:MM:SS" back to the recorded form "YYYY:MM:DD HH:MM:SS".
std::string recordedForm(std::string text) {
    const auto space = text.find(' ');
    FUZZ_CHECK(space != std::string::npos);
    for (std::size_t i = 0; i < space; ++i)
        if (text[i] == '-' && i > 0) text[i] = ':';
    return text;
}

void checkText(const std::string& input) {
    const auto date = reader::parseExifText(input, CaptureDateSource::dateTimeDigitized);
    const dates::PropertyDictionary exif{{std::string(dates::keys::dateTimeOriginal), input}};
    const dates::PropertyDictionary properties{{std::string(dates::keys::exif), exif}};
    const auto recorded = reader::readRecordedDate(properties);
    FUZZ_CHECK(date.has_value() == recorded.has_value());
    if (!date) return;
    checkValid(*date);
    FUZZ_CHECK(recorded->source == CaptureDateSource::dateTimeOriginal);
    FUZZ_CHECK(text(*recorded) == text(*date));
    FUZZ_CHECK(reader::parseExifText(recordedForm(text(*date)), date->source) == date);
}

void checkJson(std::string_view input) {
    const auto date = dates::captureDateFromJson(input);
    if (!date) {
        FUZZ_CHECK(!date.error().description().empty());
        return;
    }
    const auto again = dates::captureDateFromJson(dates::toJson(*date));
    FUZZ_CHECK(again.has_value() && *again == *date);
}

void checkBlock(const std::string& input) {
    platform::MetadataBlocks blocks;
    blocks.exif.assign(input.begin(), input.end());
    const auto properties = platform::metadataProperties(blocks);
    if (const auto date = reader::readRecordedDate(properties)) {
        checkValid(*date);
        FUZZ_CHECK(dates::isEmbedded(date->source));
    }
    const auto fields = dates::ExifFields::fromProperties(properties);
    if (const auto camera = dates::cameraText(fields)) FUZZ_CHECK(!camera->empty());
    (void)dates::exposureText(fields);
    if (fields.shutterSeconds) (void)dates::shutterText(*fields.shutterSeconds);
    if (fields.aperture) (void)dates::numberText(*fields.aperture);
}

}  // namespace

int fuzzCaptureDate(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkText(input);
    checkJson(input);
    checkBlock(input);
    return 0;
}

}  // namespace veltrop::fuzz
