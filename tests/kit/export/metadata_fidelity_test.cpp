// Every corpus photo stamped through the export path, then read back by the
// reference tools: the copy must read like its source except for the
// documented changes, and look like it outside the stamp.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "kit/export/batch_processor.h"
#include "kit/export/image_fixtures.h"
#include "kit/export/image_loader.h"
#include "kit/export/photo_discovery.h"
#include "kit/records/path_key.h"
#include "kit/records/photo_record.h"
#include "kit/platform/exif_dates.h"
#include "support/test_support.h"

namespace veltrop::exporting {
namespace {

using namespace veltrop::testing;
namespace fs = std::filesystem;
using Reading = std::map<std::string, nlohmann::json>;

// ---- The allowed differences, written once.

enum class When {
    always,
    heifSource,   // the source is a HEIF container, the copy a JPEG
    cmykSource,   // the pixels were converted into sRGB
    gpsRemoved,
};

// Tags that may differ, each list under the condition that allows it; a
// trailing '*' matches any rest.
struct Allowance {
    When when;
    std::vector<std::string_view> patterns;
};

const Allowance allowed[] = {
    // The copy is upright, of its own pixel size.
    {When::always, {"IFD0:Orientation", "XMP-tiff:Orientation", "IFD0:ImageWidth", "IFD0:ImageHeight",
                    "ExifIFD:ExifImageWidth", "ExifIFD:ExifImageHeight", "XMP-tiff:ImageWidth", "XMP-tiff:ImageHeight",
                    "XMP-exif:ExifImageWidth", "XMP-exif:ExifImageHeight"}},
    // No embedded thumbnails.
    {When::always, {"IFD1:*", "Photoshop:PhotoshopThumbnail", "XMP-xmp:Thumbnail*", "JFIF:Thumbnail*", "JFXX:*",
                    "Composite:ThumbnailImage"}},
    // Indexes of images appended after the source's end, which the copy does not have.
    {When::always, {"MPF0:*", "MPImage*", "XMP-Container:*", "XMP-hdrgm:Version", "XMP-GCamera:MotionPhoto*",
                    "XMP-GCamera:MicroVideo*"}},
    // The new encoding: the file itself, its JFIF and Adobe segments.
    {When::always, {"System:*", "File:*", "JFIF:*", "Adobe:*", "ExifTool:ExifToolVersion", "SourceFile",
                    "Composite:ImageSize", "Composite:Megapixels"}},
    {When::cmykSource, {"ICC_Profile:*", "ICC-*"}},
    // A HEIF container's own boxes and its items other than the primary image.
    {When::heifSource, {"QuickTime:*", "Meta:*", "ICC_Profile*", "ICC-*", "ExifTool:Warning"}},
    // Location on request.
    {When::gpsRemoved, {"GPS:*", "XMP-exif:GPS*", "Composite:GPS*"}},
};

bool matches(std::string_view pattern, std::string_view key) {
    if (pattern.ends_with('*')) return key.starts_with(pattern.substr(0, pattern.size() - 1));
    return key == pattern;
}

struct Source {
    bool heif = false;
    bool cmyk = false;
    bool gpsRemoved = false;
};

bool isAllowed(std::string_view key, const Source& source) {
    return std::any_of(std::begin(allowed), std::end(allowed), [&](const Allowance& a) {
        const bool applies = a.when == When::always || (a.when == When::heifSource && source.heif) ||
                             (a.when == When::cmykSource && source.cmyk) ||
                             (a.when == When::gpsRemoved && source.gpsRemoved);
        return applies && std::any_of(a.patterns.begin(), a.patterns.end(), [&](auto p) { return matches(p, key); });
    });
}

// ---- Reading with the reference tool.

// exiftool's reading of many files at once, by file: every tag in every
// group, numbers as stored; binary values by content where the tool gives it.
// Further arguments (a tag selection) may narrow the reading.
std::map<fs::path, Reading> readAll(const std::vector<fs::path>& files, const std::string& arguments = "") {
    std::map<fs::path, Reading> readings;
    std::string names;
    for (const auto& file : files) names += " " + shellQuoted(file);
    for (const char* binary : {"", " -b"}) {
        auto output = commandOutput(std::string("exiftool -j -a -G1 -n -q -q") + binary + arguments + names + " 2>/dev/null");
        if (!output) continue;
        auto parsed = nlohmann::json::parse(*output, nullptr, false);
        if (!parsed.is_array()) continue;
        for (const auto& entry : parsed) {
            Reading& reading = readings[fs::path(entry["SourceFile"].get<std::string>())];
            for (const auto& [key, value] : entry.items()) reading[key] = value;
        }
    }
    return readings;
}

// A maker note's preview image stored outside the EXIF segment (after the
// source's image data) is not in the copy; its offset now meets other bytes.
bool previewOutsideExif(const std::string& key, const Reading& source, const fs::path& file) {
    if (!key.ends_with(":PreviewImage")) return false;
    const std::string group = key.substr(0, key.find(':'));
    const auto start = source.find(group + ":PreviewImageStart");
    const auto length = source.find(group + ":PreviewImageLength");
    if (start == source.end() || length == source.end() || !start->second.is_number()) return false;
    for (const Segment& segment : segmentsOf(readBytes(file)))
        if (segment.marker == 0xE1 && segment.payload.size() > 6 && std::equal(segment.payload.begin(), segment.payload.begin() + 4, "Exif"))
            return start->second.get<double>() + length->second.get<double>() > static_cast<double>(segment.payload.size() - 6);
    return false;
}

// A HEIF copy carries the primary image's profile: one of the source's.
bool isSourceProfileValue(const std::string& key, const nlohmann::json& value, const Reading& source) {
    if (!key.starts_with("ICC")) return false;
    const std::string group = key.substr(0, key.find(':'));
    const std::string tag = key.substr(key.find(':'));
    for (const std::string suffix : {"", "2", "3", "4"}) {
        const auto it = source.find(group + suffix + tag);
        if (it != source.end() && it->second == value) return true;
    }
    return false;
}

// The keys of either reading, the first's first.
std::vector<std::string> allKeys(const Reading& first, const Reading& second) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : first) keys.push_back(key);
    for (const auto& [key, value] : second)
        if (!first.contains(key)) keys.push_back(key);
    return keys;
}

std::vector<std::string> unexplainedDifferences(const Reading& source, const Reading& copy, const Source& kind,
                                                const fs::path& sourceFile) {
    std::vector<std::string> found;
    for (const auto& key : allKeys(source, copy)) {
        const auto was = source.find(key);
        const auto is = copy.find(key);
        if (was != source.end() && is != copy.end() && was->second == is->second) continue;
        if (isAllowed(key, kind) && !(kind.heif && key.starts_with("ICC") && is != copy.end())) continue;
        if (kind.heif && is != copy.end() && isSourceProfileValue(key, is->second, source)) continue;
        if (was != source.end() && previewOutsideExif(key, source, sourceFile)) continue;
        const auto shown = [](const auto& it, const Reading& reading) {
            return it == reading.end() ? std::string("(absent)") : it->second.dump().substr(0, 80);
        };
        found.push_back(key + ": " + shown(was, source) + " -> " + shown(is, copy));
    }
    return found;
}

// ---- Stamping through the export path.

std::vector<fs::path> corpusPhotos(const fs::path& corpus) {
    std::vector<fs::path> photos;
    for (const auto& entry : fs::directory_iterator(corpus))
        if (entry.is_regular_file() && ImageLoader::hasAcceptedExtension(entry.path())) photos.push_back(entry.path());
    std::sort(photos.begin(), photos.end());
    return photos;
}

bool isHeif(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == ".heic" || extension == ".heif" || extension == ".hif";
}

FileOutcome stamp(const fs::path& source, const fs::path& destination, bool removeGPS) {
    ImageLoader::prepare();
    settings::StampConfiguration configuration;
    configuration.removeGPS = removeGPS;
    const std::optional<image::Bitmap> noWatermark;
    return stampPhoto(stampPlan(source, destination, configuration), {configuration, noWatermark});
}

// djpeg decodes every row: no "Premature end of JPEG file".
bool decodesCompletely(const fs::path& file) {
    auto messages = commandOutput("djpeg " + shellQuoted(file) + " 2>&1 >/dev/null; echo \"exit $?\"");
    return messages && !messages->contains("Premature end") &&
           (messages->contains("exit 0") || messages->contains("exit 2"));
}

bool hasGps(const Reading& reading) {
    return std::any_of(reading.begin(), reading.end(), [](const auto& entry) { return entry.first.starts_with("GPS:"); });
}

// The bytes a value is stored in, as the reference tool's verbose dump
// shows them: the GPS latitude of a photo, to look for in its copy.
Bytes storedBytes(const fs::path& file, std::string_view tag) {
    auto dump = commandOutput("exiftool -v3 " + shellQuoted(file) + " 2>/dev/null");
    Bytes bytes;
    if (!dump) return bytes;
    const std::size_t entry = dump->find(std::string(tag) + " = ");
    if (entry == std::string::npos) return bytes;
    std::size_t line = dump->find('\n', entry) + 1;  // "- Tag 0x0002 (24 bytes, …)"
    line = dump->find('\n', line) + 1;
    // Dump lines: offset, colon, up to 16 hexadecimal pairs, then the text in brackets.
    while (line < dump->size()) {
        const std::size_t end = dump->find('\n', line);
        const std::string text = dump->substr(line, end - line);
        const std::size_t colon = text.find(": ");
        if (colon == std::string::npos || text.find(" = ") != std::string::npos || text.find("- Tag") != std::string::npos) break;
        const std::size_t bracket = text.find('[', colon);
        std::istringstream hex(text.substr(colon + 2, bracket - colon - 2));
        std::string pair;
        while (hex >> pair) bytes.push_back(static_cast<std::uint8_t>(std::stoi(pair, nullptr, 16)));
        line = end + 1;
    }
    return bytes;
}

// Every photo that the reference decoder decodes completely is stamped.
std::vector<fs::path> stampablePhotos(const fs::path& corpus) {
    std::vector<fs::path> photos;
    for (const auto& photo : corpusPhotos(corpus))
        if (isHeif(photo) || decodesCompletely(photo)) photos.push_back(photo);
    return photos;
}

TEST(MetadataFidelity, EveryCorpusCopyReadsLikeItsSource) {
    VELTROP_REQUIRE_CORPUS(corpus);
    if (!hasTool("exiftool") || !hasTool("djpeg")) GTEST_SKIP() << "exiftool or djpeg is not installed";
    TempDir folder;
    const auto photos = stampablePhotos(corpus);
    ASSERT_GE(photos.size(), 32u);  // the corrupted but complete photo included
    const auto sources = readAll(photos);

    std::map<fs::path, std::pair<fs::path, Source>> copies;
    for (const auto& photo : photos) {
        SCOPED_TRACE(photo.filename().string());
        ASSERT_TRUE(sources.contains(photo));
        const Reading& source = sources.at(photo);
        const bool cmyk = source.contains("File:ColorComponents") && source.at("File:ColorComponents") == 4;
        for (bool removeGPS : {false, true}) {
            if (removeGPS && !hasGps(source)) continue;
            const auto copy = folder / (photo.filename().string() + (removeGPS ? ".no-gps.jpg" : ".jpg"));
            const FileOutcome outcome = stamp(photo, copy, removeGPS);
            ASSERT_EQ(outcome.kind, FileOutcome::Kind::stamped) << outcome.failureText();
            copies[copy] = {photo, Source{isHeif(photo), cmyk, removeGPS}};
        }
    }
    std::vector<fs::path> copyFiles;
    for (const auto& [copy, origin] : copies) copyFiles.push_back(copy);
    const auto readings = readAll(copyFiles);

    int distinctLatitudes = 0;
    for (const auto& [copy, origin] : copies) {
        const auto& [photo, kind] = origin;
        SCOPED_TRACE(copy.filename().string());
        ASSERT_TRUE(readings.contains(copy));
        const auto differences = unexplainedDifferences(sources.at(photo), readings.at(copy), kind, photo);
        std::string list;
        for (const auto& line : differences) list += "\n  " + line;
        EXPECT_TRUE(differences.empty()) << differences.size() << " unexplained differences:" << list;
        if (!kind.gpsRemoved) continue;
        // Removed location is gone from the bytes, not merely unreferenced.
        for (const auto& [key, value] : readings.at(copy)) EXPECT_FALSE(key.contains("GPS")) << key;
        // A latitude that the source stores once (not a run of zeros) must be gone.
        const Bytes latitude = storedBytes(photo, "GPSLatitude");
        const Bytes original = readBytes(photo);
        const auto first = std::search(original.begin(), original.end(), latitude.begin(), latitude.end());
        if (latitude.size() < 8 || first == original.end() ||
            std::search(first + 1, original.end(), latitude.begin(), latitude.end()) != original.end())
            continue;
        ++distinctLatitudes;
        EXPECT_FALSE(contains(readBytes(copy), latitude));
    }
    EXPECT_GE(distinctLatitudes, 3);
}

// For upright photos the copy's pixels are the source's, one JPEG generation
// later, everywhere but in the stamp's corner.
TEST(MetadataFidelity, UprightCopiesLookLikeTheirSourceOutsideTheStamp) {
    VELTROP_REQUIRE_CORPUS(corpus);
    if (!hasTool("exiftool") || !hasTool("djpeg")) GTEST_SKIP() << "exiftool or djpeg is not installed";
    TempDir folder;
    std::vector<fs::path> jpegs;
    for (const auto& photo : stampablePhotos(corpus))
        if (!isHeif(photo)) jpegs.push_back(photo);
    const auto sources = readAll(jpegs);
    int compared = 0;
    for (const auto& photo : jpegs) {
        const Reading& source = sources.at(photo);
        if (source.contains("IFD0:Orientation") && source.at("IFD0:Orientation") != 1) continue;
        SCOPED_TRACE(photo.filename().string());
        const auto copy = folder / (photo.filename().string() + ".jpg");
        ASSERT_EQ(stamp(photo, copy, false).kind, FileOutcome::Kind::stamped);
        const auto before = decodeWithDjpeg(photo);
        const auto after = decodeWithDjpeg(copy);
        ASSERT_TRUE(before && after);
        ASSERT_EQ(after->width, before->width);
        ASSERT_EQ(after->height, before->height);

        // The stamp sits in the bottom-right corner: at most half the shorter
        // side wide and a tenth of it high, margin included.
        const int shorter = std::min(before->width, before->height);
        const int boxLeft = before->width - shorter / 2, boxTop = before->height - shorter / 10;
        double sum = 0;
        std::size_t outside = 0, farOff = 0, stampPixels = 0;
        for (int y = 0; y < before->height; ++y) {
            for (int x = 0; x < before->width; ++x) {
                const std::size_t at = (static_cast<std::size_t>(y) * before->width + x) * 3;
                int difference = 0;
                for (int c = 0; c < 3; ++c) difference = std::max(difference, std::abs(before->pixels[at + c] - after->pixels[at + c]));
                if (x >= boxLeft && y >= boxTop) {
                    stampPixels += difference > 48;
                    continue;
                }
                sum += difference;
                ++outside;
                farOff += difference > 32;
            }
        }
        ++compared;
        if (outside == 0) continue;
        // One generation moves pixels by a level or two on average; only a
        // few saturated edges lose more to the halved colour resolution.
        EXPECT_LE(sum / static_cast<double>(outside), 3.0);
        EXPECT_LE(static_cast<double>(farOff) / static_cast<double>(outside), 0.001);
        if (shorter >= 64) {
            EXPECT_GT(stampPixels, 0u) << "no stamp in the corner";
        }
    }
    EXPECT_GE(compared, 15);
}

// ---- Corrected dates written into the copies

// The tags a corrected date may change in a copy, and how.
enum class DateChange {
    resolved,        // the resolved date, as EXIF text
    resolvedPrefix,  // the resolved date, then perhaps a zone (XMP)
    mayGo,           // a sub-second that no longer belongs to its date
    added,           // only where the source had no Exif IFD
    resolvedDay,     // the resolved date's day (IPTC)
    resolvedTime,    // the resolved date's time, then the zone (IPTC)
    zone,            // the resolved date's zone as the photo's GPS time tells it
    encoding,        // the encoder's own JFIF segment, left out once the copy has EXIF
    derived,         // computed by the reading tool from the others
};

constexpr std::pair<std::string_view, DateChange> dateChanges[] = {
    {"ExifIFD:DateTimeOriginal", DateChange::resolved}, {"ExifIFD:CreateDate", DateChange::resolved},
    {"XMP-exif:DateTimeOriginal", DateChange::resolvedPrefix}, {"XMP-xmp:CreateDate", DateChange::resolvedPrefix},
    {"XMP-exif:DateTimeDigitized", DateChange::resolvedPrefix},
    {"XMP-photoshop:DateCreated", DateChange::resolvedPrefix},
    {"ExifIFD:SubSecTimeOriginal", DateChange::mayGo}, {"ExifIFD:SubSecTimeDigitized", DateChange::mayGo},
    {"ExifIFD:ExifVersion", DateChange::added}, {"ExifIFD:OffsetTimeOriginal", DateChange::zone},
    {"IPTC:DateCreated", DateChange::resolvedDay}, {"IPTC:DigitalCreationDate", DateChange::resolvedDay},
    {"IPTC:TimeCreated", DateChange::resolvedTime}, {"IPTC:DigitalCreationTime", DateChange::resolvedTime},
    {"JFIF:*", DateChange::encoding}, {"Composite:*", DateChange::derived},
};

bool describesTheFile(const std::string& key) {
    return key.starts_with("File:") || key.starts_with("System:") || key.starts_with("ExifTool:") || key == "SourceFile";
}

// The reading without the tags that describe the file rather than the photo.
Reading aboutThePhoto(Reading reading) {
    std::erase_if(reading, [](const auto& entry) { return describesTheFile(entry.first); });
    return reading;
}

std::string valueText(const nlohmann::json& value) { return value.is_string() ? value.get<std::string>() : value.dump(); }

bool hasExif(const Reading& reading) {
    return std::any_of(reading.begin(), reading.end(), [](const auto& entry) {
        return entry.first.starts_with("IFD0:") || entry.first.starts_with("ExifIFD:");
    });
}

// DateTimeOriginal with OffsetTimeOriginal is the instant of the GPS time.
bool zoneAgreesWithGps(const Reading& reading) {
    const auto text = [&](const char* key) { return reading.contains(key) ? valueText(reading.at(key)) : std::string(); };
    const std::string wall = text("ExifIFD:DateTimeOriginal"), offset = text("ExifIFD:OffsetTimeOriginal");
    const auto local = utcSeconds(wall);
    const auto gps = utcSeconds(text("GPS:GPSDateStamp") + " " + text("GPS:GPSTimeStamp").substr(0, 8));
    int hours = 0, minutes = 0;
    if (!local || !gps || offset.size() != 6 || std::sscanf(offset.c_str() + 1, "%d:%d", &hours, &minutes) != 2)
        return false;
    const std::int64_t zone = (offset[0] == '-' ? -1 : 1) * (hours * 3600 + minutes * 60);
    return std::abs(*local - zone - *gps) <= 120;
}

// How a copy written with the resolved date differs from one written without.
std::vector<std::string> unexpectedDateChanges(const Reading& without, const Reading& with, const std::string& resolved) {
    std::vector<std::string> found;
    for (const auto& key : allKeys(without, with)) {
        const auto was = without.find(key);
        const auto is = with.find(key);
        const bool same = was != without.end() && is != with.end() && was->second == is->second;
        const auto change = std::find_if(std::begin(dateChanges), std::end(dateChanges),
                                         [&](const auto& c) { return matches(c.first, key); });
        if (describesTheFile(key)) continue;
        bool fine = same;
        if (change != std::end(dateChanges)) {
            const std::string now = is == with.end() ? "" : valueText(is->second);
            switch (change->second) {
                case DateChange::resolved: fine = now == resolved; break;
                case DateChange::resolvedPrefix: fine = was == without.end() ? same : now.starts_with(resolved); break;
                case DateChange::mayGo: fine = same || is == with.end(); break;
                case DateChange::added: fine = same || (was == without.end() && now == "0232"); break;
                case DateChange::resolvedDay: fine = same || now == resolved.substr(0, 10); break;
                case DateChange::resolvedTime: fine = same || now.starts_with(resolved.substr(11)); break;
                case DateChange::zone: fine = same || zoneAgreesWithGps(with); break;
                case DateChange::encoding: fine = same || (is == with.end() && !hasExif(without)); break;
                case DateChange::derived: fine = true; break;
            }
        }
        if (!fine)
            found.push_back(key + ": " + (was == without.end() ? "(absent)" : valueText(was->second)) + " -> " +
                            (is == with.end() ? "(absent)" : valueText(is->second)));
    }
    return found;
}

struct DatedCopy {
    fs::path file;
    std::optional<dates::CaptureDate> resolved;
    bool lossless = false;
};

// One export of the photos with the rules; the copies by source photo.
std::map<fs::path, DatedCopy> exportCopies(const std::vector<records::DiscoveredPhoto>& photos, const fs::path& folder,
                                           const std::vector<records::DateCorrectionRule>& rules, bool writeDates,
                                           bool keepQuality = false) {
    settings::StampConfiguration configuration;
    configuration.outputRoot = folder;
    configuration.writeCorrectedDates = writeDates;
    configuration.keepOriginalQuality = keepQuality;
    BatchProcessor processor(2);
    const BatchSummary summary = processor.run(photos, configuration, std::nullopt, rules, std::nullopt);
    std::map<fs::path, DatedCopy> copies;
    for (const auto& result : summary.results) {
        if (result.outcome.kind != FileOutcome::Kind::stamped) {
            ADD_FAILURE() << result.source << ": " << result.outcome.failureText();
            continue;
        }
        copies[result.source] = {result.outcome.destination, result.record->resolvedDate, result.outcome.lossless};
    }
    return copies;
}

std::vector<fs::path> files(const std::map<fs::path, DatedCopy>& copies) {
    std::vector<fs::path> list;
    for (const auto& [source, copy] : copies) list.push_back(copy.file);
    return list;
}

// Every corpus photo shifted by 1 h 30 min, or given a date when it records
// none, written with and without its corrected date in the copy.
TEST(MetadataFidelity, ACorrectedDateChangesOnlyTheDateTags) {
    VELTROP_REQUIRE_CORPUS(corpus);
    if (!hasTool("exiftool") || !hasTool("djpeg")) GTEST_SKIP() << "exiftool or djpeg is not installed";
    ImageLoader::prepare();
    TempDir folder;
    std::vector<fs::path> sources = stampablePhotos(corpus);
    auto photos = PhotoDiscovery::makePhotos(sources, sources);
    std::vector<records::DateCorrectionRule> rules(1);
    rules[0].offsetSeconds = 5400;
    std::vector<records::DiscoveredPhoto> dated;
    for (const auto& photo : photos) {
        if (photo.captureDate) {
            dated.push_back(photo);
            continue;
        }
        records::DateCorrectionRule supply;
        supply.scope = records::DateCorrectionScope::photo(photo.url);
        supply.suppliedDate = dates::CaptureDate{2026, 8, 14, 6, 17, 49, dates::CaptureDateSource::suppliedDate};
        rules.push_back(supply);
    }
    ASSERT_GE(dated.size(), 20u);
    ASSERT_GE(rules.size(), 5u);

    // Without the setting a corrected photo's copy reads as it does today.
    const auto today = exportCopies(dated, folder / "today", {}, false);
    const auto off = exportCopies(photos, folder / "off", rules, false);
    const auto on = exportCopies(photos, folder / "on", rules, true);
    const auto todayReadings = readAll(files(today));
    const auto offReadings = readAll(files(off));
    const auto onReadings = readAll(files(on));
    for (const auto& [source, copy] : today) {
        SCOPED_TRACE(source.filename().string());
        EXPECT_EQ(aboutThePhoto(todayReadings.at(copy.file)), aboutThePhoto(offReadings.at(off.at(source).file)));
    }

    // With it, only the date tags change, to the resolved date.
    for (const auto& [source, copy] : on) {
        SCOPED_TRACE(source.filename().string());
        ASSERT_TRUE(copy.resolved);
        const std::string resolved = platform::exifDateText(*copy.resolved);
        const Reading& reading = onReadings.at(copy.file);
        EXPECT_EQ(reading.at("ExifIFD:DateTimeOriginal"), resolved);
        EXPECT_EQ(reading.at("ExifIFD:CreateDate"), resolved);
        const auto differences = unexpectedDateChanges(offReadings.at(off.at(source).file), reading, resolved);
        std::string list;
        for (const auto& line : differences) list += "\n  " + line;
        EXPECT_TRUE(differences.empty()) << differences.size() << " unexpected differences:" << list;
        EXPECT_TRUE(decodesCompletely(copy.file));
    }
    // A photo with EXIF but no date, and photos without any EXIF, get both tags.
    for (const char* name : {"Nokia 3110c (Mobile Phone).jpg", "landscape_5.jpg", "Issue 614.jpg"}) {
        SCOPED_TRACE(name);
        // The corpus location may be given with "..": photos are keyed by their standard form.
        const fs::path source = records::standardized(corpus / name);
        ASSERT_TRUE(on.contains(source));
        EXPECT_EQ(onReadings.at(on.at(source).file).at("ExifIFD:DateTimeOriginal"), "2026:08:14 06:17:49");
    }

    // Maker notes read the same, value for value.
    const auto offNotes = readAll(files(off), " -MakerNotes:all");
    const auto onNotes = readAll(files(on), " -MakerNotes:all");
    int withNotes = 0;
    for (const auto& [source, copy] : on) {
        SCOPED_TRACE(source.filename().string());
        const Reading was = aboutThePhoto(offNotes.at(off.at(source).file));
        EXPECT_EQ(was, aboutThePhoto(onNotes.at(copy.file)));
        withNotes += was.size() > 3;
    }
    EXPECT_GE(withNotes, 8);
}

// The copies that keep the original's JPEG data carry the same date.
TEST(MetadataFidelity, KeptQualityCopiesCarryTheCorrectedDateToo) {
    VELTROP_REQUIRE_CORPUS(corpus);
    if (!hasTool("exiftool") || !hasTool("djpeg")) GTEST_SKIP() << "exiftool or djpeg is not installed";
    ImageLoader::prepare();
    TempDir folder;
    std::vector<fs::path> sources;
    for (const char* name : {"Canon EOS 1000D.jpg", "Issue 80.jpg", "Nokia 3110c (Mobile Phone).jpg", "landscape_5.jpg"})
        sources.push_back(corpus / name);
    const auto photos = PhotoDiscovery::makePhotos(sources, sources);
    records::DateCorrectionRule supply;
    supply.suppliedDate = dates::CaptureDate{2026, 8, 14, 6, 17, 49, dates::CaptureDateSource::suppliedDate};
    const auto normal = exportCopies(photos, folder / "normal", {supply}, true);
    const auto kept = exportCopies(photos, folder / "kept", {supply}, true, true);
    const auto normalReadings = readAll(files(normal));
    const auto keptReadings = readAll(files(kept));
    int lossless = 0;
    for (const auto& [source, copy] : kept) {
        lossless += copy.lossless;
        SCOPED_TRACE(source.filename().string());
        const Reading& reading = keptReadings.at(copy.file);
        EXPECT_EQ(reading.at("ExifIFD:DateTimeOriginal"), "2026:08:14 06:17:49");
        EXPECT_EQ(reading.at("ExifIFD:CreateDate"), "2026:08:14 06:17:49");
        // The EXIF and XMP read as in the copy encoded anew.
        for (const auto& [key, value] : normalReadings.at(normal.at(source).file)) {
            if (key.starts_with("ExifIFD:") || key.starts_with("IFD0:") || key.starts_with("XMP-")) {
                EXPECT_EQ(reading.contains(key) ? reading.at(key) : nlohmann::json(), value) << key;
            }
        }
        EXPECT_TRUE(decodesCompletely(copy.file));
    }
    EXPECT_GE(lossless, 3);
}

}  // namespace
}  // namespace veltrop::exporting
