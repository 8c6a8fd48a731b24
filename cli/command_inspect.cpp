#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "kit/dates/capture_date.h"
#include "kit/dates/exif_fields.h"
#include "kit/export/image_loader.h"
#include "kit/json/writer.h"
#include "kit/records/date_audit.h"

namespace veltrop::cli {

namespace {

using json::Value;

// Pixel counts are whole numbers; print them without a fraction.
Value sizeJson(const exporting::PixelSize& size) {
    return Value(json::Array{static_cast<std::int64_t>(size.width), static_cast<std::int64_t>(size.height)});
}

template <class T>
void putIfPresent(Value& object, const char* key, const std::optional<T>& value) {
    if (value) object.set(key, *value);
}

Value describe(const std::string& given) {
    Value object(json::Object{});
    object.set("file", given);
    auto info = exporting::ImageLoader::readInfo(given);
    if (!info) {
        object.set("error", info.error().description());
        return object;
    }
    object.set("pixelSize", sizeJson(info->pixelSize));
    object.set("displaySize", sizeJson(info->displaySize()));
    object.set("orientation", info->orientation);

    Value fields(json::Object{});
    for (const auto& candidate : records::PhotoDateAudit::fromProperties(info->properties).candidates)
        fields.set(dates::rawValue(candidate.source), candidate.raw);
    object.set("dateFields", std::move(fields));

    const auto date = dates::CaptureDateReader::readRecordedDate(info->properties);
    object.set("captureDate", date ? Value(dates::text(*date)) : Value());
    object.set("captureDateSource", date ? Value(dates::rawValue(date->source)) : Value());

    const auto exif = dates::ExifFields::fromProperties(info->properties);
    Value exifJson(json::Object{});
    putIfPresent(exifJson, "make", exif.make);
    putIfPresent(exifJson, "model", exif.model);
    putIfPresent(exifJson, "lens", exif.lens);
    putIfPresent(exifJson, "focalLength", exif.focalLength);
    putIfPresent(exifJson, "aperture", exif.aperture);
    putIfPresent(exifJson, "shutterSeconds", exif.shutterSeconds);
    putIfPresent(exifJson, "iso", exif.iso);
    object.set("exif", std::move(exifJson));
    putIfPresent(object, "cameraText", dates::cameraText(exif));
    putIfPresent(object, "exposureText", dates::exposureText(exif));
    const auto* gps = dates::find(info->properties, dates::keys::gps);
    object.set("gps", gps != nullptr && gps->dictionary() != nullptr && !gps->dictionary()->empty());
    return object;
}

int runInspect(const Invocation& invocation) {
    auto parsed = parseArguments(invocation.arguments, {});
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.empty()) return invocation.usageError("name at least one photo");

    exporting::ImageLoader::prepare();
    json::Array photos;
    bool allRead = true;
    for (const auto& file : parsed->positionals) {
        photos.push_back(describe(file));
        allRead = allRead && !photos.back().find("error");
    }
    // Invalid UTF-8 in a camera's strings must not abort the listing.
    invocation.out << json::write(Value(std::move(photos)), json::Repair::replace).value() << "\n";
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
