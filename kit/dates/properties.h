#pragma once
// A photo's metadata as a typed tree: the image-metadata adapter fills it,
// the date and camera readers consume it. Types are kept exactly as stored,
// so a date written as a number stays a number and readers can reject it.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltrop::dates {

class PropertyValue;
using PropertyList = std::vector<PropertyValue>;
using PropertyDictionary = std::map<std::string, PropertyValue, std::less<>>;

class PropertyValue {
public:
    PropertyValue() : value_(std::string{}) {}
    PropertyValue(std::string text) : value_(std::move(text)) {}
    PropertyValue(const char* text) : value_(std::string(text)) {}
    PropertyValue(double number) : value_(number) {}
    PropertyValue(int number) : value_(static_cast<double>(number)) {}
    PropertyValue(long number) : value_(static_cast<double>(number)) {}
    PropertyValue(long long number) : value_(static_cast<double>(number)) {}
    PropertyValue(PropertyList list) : value_(std::move(list)) {}
    PropertyValue(PropertyDictionary dictionary) : value_(std::move(dictionary)) {}

    const std::string* string() const { return std::get_if<std::string>(&value_); }
    const double* number() const { return std::get_if<double>(&value_); }
    const PropertyList* list() const { return std::get_if<PropertyList>(&value_); }
    const PropertyDictionary* dictionary() const { return std::get_if<PropertyDictionary>(&value_); }

    bool operator==(const PropertyValue&) const = default;

private:
    std::variant<std::string, double, PropertyList, PropertyDictionary> value_;
};

// Keys of the tree. Group keys hold dictionaries; the rest are tag names of
// the EXIF and TIFF standards inside their group.
namespace keys {
inline constexpr std::string_view exif = "Exif";
inline constexpr std::string_view exifAux = "ExifAux";
inline constexpr std::string_view tiff = "TIFF";
inline constexpr std::string_view gps = "GPS";
inline constexpr std::string_view iptc = "IPTC";
// Top level
inline constexpr std::string_view orientation = "Orientation";
inline constexpr std::string_view pixelWidth = "PixelWidth";
inline constexpr std::string_view pixelHeight = "PixelHeight";
// Exif group
inline constexpr std::string_view dateTimeOriginal = "DateTimeOriginal";
inline constexpr std::string_view dateTimeDigitized = "DateTimeDigitized";
inline constexpr std::string_view lensModel = "LensModel";
inline constexpr std::string_view focalLength = "FocalLength";
inline constexpr std::string_view fNumber = "FNumber";
inline constexpr std::string_view exposureTime = "ExposureTime";
inline constexpr std::string_view isoSpeedRatings = "ISOSpeedRatings";
inline constexpr std::string_view offsetTimeOriginal = "OffsetTimeOriginal";
inline constexpr std::string_view subSecTimeOriginal = "SubSecTimeOriginal";
// TIFF group
inline constexpr std::string_view dateTime = "DateTime";
inline constexpr std::string_view make = "Make";
inline constexpr std::string_view model = "Model";
// GPS group
inline constexpr std::string_view gpsDateStamp = "GPSDateStamp";
inline constexpr std::string_view gpsTimeStamp = "GPSTimeStamp";
inline constexpr std::string_view gpsLatitude = "GPSLatitude";
inline constexpr std::string_view gpsLongitude = "GPSLongitude";
inline constexpr std::string_view gpsLongitudeRef = "GPSLongitudeRef";
}  // namespace keys

// Looks up a nested group; a missing group or one that is not a dictionary
// reads as empty.
const PropertyDictionary& group(const PropertyDictionary& properties, std::string_view key);

// A value of one key, or nullptr when absent.
const PropertyValue* find(const PropertyDictionary& dictionary, std::string_view key);

}  // namespace veltrop::dates
