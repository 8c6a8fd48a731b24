#include <nlohmann/json.hpp>

#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "kit/dates/capture_date.h"
#include "kit/dates/exif_fields.h"
#include "kit/export/image_loader.h"
#include "kit/records/date_audit.h"

namespace veltrop::cli {

namespace {

using nlohmann::ordered_json;

// Pixel counts are whole numbers; print them without a fraction.
ordered_json sizeJson(const exporting::PixelSize& size) {
    return ordered_json::array({static_cast<std::int64_t>(size.width), static_cast<std::int64_t>(size.height)});
}

template <class T>
void putIfPresent(ordered_json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = *value;
}

ordered_json describe(const std::string& given) {
    ordered_json object;
    object["file"] = given;
    auto info = exporting::ImageLoader::readInfo(given);
    if (!info) {
        object["error"] = info.error().description();
        return object;
    }
    object["pixelSize"] = sizeJson(info->pixelSize);
    object["displaySize"] = sizeJson(info->displaySize());
    object["orientation"] = info->orientation;

    ordered_json fields = ordered_json::object();
    for (const auto& candidate : records::PhotoDateAudit::fromProperties(info->properties).candidates)
        fields[std::string(dates::rawValue(candidate.source))] = candidate.raw;
    object["dateFields"] = fields;

    const auto date = dates::CaptureDateReader::readRecordedDate(info->properties);
    object["captureDate"] = date ? ordered_json(dates::text(*date)) : ordered_json(nullptr);
    object["captureDateSource"] = date ? ordered_json(std::string(dates::rawValue(date->source))) : ordered_json(nullptr);

    const auto exif = dates::ExifFields::fromProperties(info->properties);
    ordered_json exifJson = ordered_json::object();
    putIfPresent(exifJson, "make", exif.make);
    putIfPresent(exifJson, "model", exif.model);
    putIfPresent(exifJson, "lens", exif.lens);
    putIfPresent(exifJson, "focalLength", exif.focalLength);
    putIfPresent(exifJson, "aperture", exif.aperture);
    putIfPresent(exifJson, "shutterSeconds", exif.shutterSeconds);
    putIfPresent(exifJson, "iso", exif.iso);
    object["exif"] = exifJson;
    putIfPresent(object, "cameraText", dates::cameraText(exif));
    putIfPresent(object, "exposureText", dates::exposureText(exif));
    const auto* gps = dates::find(info->properties, dates::keys::gps);
    object["gps"] = gps != nullptr && gps->dictionary() != nullptr && !gps->dictionary()->empty();
    return object;
}

int runInspect(const Invocation& invocation) {
    auto parsed = parseArguments(invocation.arguments, {});
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.empty()) return invocation.usageError("name at least one photo");

    exporting::ImageLoader::prepare();
    ordered_json photos = ordered_json::array();
    bool allRead = true;
    for (const auto& file : parsed->positionals) {
        photos.push_back(describe(file));
        allRead = allRead && !photos.back().contains("error");
    }
    // Invalid UTF-8 in a camera's strings must not abort the listing.
    invocation.out << photos.dump(2, ' ', false, ordered_json::error_handler_t::replace) << "\n";
    return allRead ? exitSuccess : exitFailure;
}

}  // namespace

extern const Command inspectCommand{
    "inspect", "print what a photo's metadata records, as JSON",
    "usage: veltrop-cli inspect PATH...\n\n"
    "Prints a JSON array with one object per photo, in the order given: sizes,\n"
    "orientation, the raw date fields, the capture date and its source, camera\n"
    "fields, and whether location data is present. Reads metadata only.\n"
    "Exits 1 when some file could not be read.\n",
    runInspect};

}  // namespace veltrop::cli
