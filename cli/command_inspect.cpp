#include <ostream>

#include "cli/arguments.h"
#include "cli/command.h"
#include "cli/json_output.h"
#include "kit/dates/capture_date.h"
#include "kit/dates/exif_fields.h"
#include "kit/export/image_loader.h"
#include "kit/records/path_key.h"
#include "kit/export/photo_discovery.h"
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
    const OptionSpec options[] = {{"--no-subfolders", false}};
    auto parsed = parseArguments(invocation.arguments, options);
    if (!parsed) return invocation.usageError(parsed.error());
    if (parsed->help) return invocation.help();
    if (parsed->positionals.empty()) return invocation.usageError("name at least one photo or folder");

    // Folders are searched as an export searches them; files are taken as given.
    std::vector<std::string> files;
    bool allFound = true;
    for (const auto& given : parsed->positionals) {
        std::error_code error;
        if (!std::filesystem::is_directory(given, error)) {
            files.push_back(given);
            continue;
        }
        const auto found = exporting::PhotoDiscovery::discoverFiles({records::standardized(given)},
                                                                    !parsed->has("--no-subfolders"), {});
        if (found.empty()) {
            invocation.err << "No photos found in \u201C" << given << "\u201D.\n";
            allFound = false;
        }
        for (const auto& file : found) files.push_back(file.string());
    }

    exporting::ImageLoader::prepare();
    json::Array photos;
    bool allRead = true;
    for (const auto& file : files) {
        photos.push_back(describe(file));
        allRead = allRead && !photos.back().find("error");
    }
    // Invalid UTF-8 in a camera's strings must not abort the listing.
    invocation.out << json::write(Value(std::move(photos)), json::Repair::replace).value() << "\n";
    return allRead && allFound ? exitSuccess : exitFailure;
}

}  // namespace

extern const Command inspectCommand{
    "inspect", "Print what a photo's metadata records, as JSON",
    "Usage: veltrop-cli inspect [OPTIONS] PATH...\n\n"
    "Prints a JSON array with one object per photo: sizes, orientation, the raw\n"
    "date fields, the capture date and its source, camera fields, and whether\n"
    "location data is present. Files are taken in the order given; folders are\n"
    "searched for photos as export searches them. Reads metadata only.\n\n"
    "Options:\n"
    "  --no-subfolders   do not search the sub-folders of a folder\n"
    "  -h, --help        show this help\n\n"
    "Exit status:\n"
    "  0  every photo was read\n"
    "  1  some file could not be read, or a folder holds no photo\n"
    "  2  the command line is wrong\n",
    runInspect};

}  // namespace veltrop::cli
