#include "kit/platform/copy_segments.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "kit/platform/colour_profile.h"
#include "kit/platform/exif_dates.h"
#include "kit/platform/iptc_dates.h"
#include "kit/platform/exif_metadata.h"
#include "kit/platform/md5.h"
#include "kit/platform/xmp_edit.h"

namespace veltrop::platform {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int app0 = 0xE0, app1 = 0xE1, app2 = 0xE2, app13 = 0xED, app14 = 0xEE;

constexpr std::string_view exifSignature{"Exif\0\0", 6};
constexpr std::string_view xmpSignature{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view extensionSignature{"http://ns.adobe.com/xmp/extension/\0", 35};
constexpr std::string_view iccSignature{"ICC_PROFILE\0", 12};
constexpr std::string_view photoshopSignature{"Photoshop 3.0\0", 14};
constexpr std::size_t extensionHeader = extensionSignature.size() + 32 + 4 + 4;

bool startsWith(const Bytes& payload, std::string_view prefix) {
    return payload.size() >= prefix.size() && std::memcmp(payload.data(), prefix.data(), prefix.size()) == 0;
}

// Some writers end the EXIF signature with a byte other than NUL.
bool isExif(const MetadataSegment& segment) {
    return segment.marker == app1 && segment.payload.size() >= 6 && std::memcmp(segment.payload.data(), "Exif\0", 5) == 0;
}
bool isXmp(const MetadataSegment& s) { return s.marker == app1 && startsWith(s.payload, xmpSignature); }
bool isExtension(const MetadataSegment& s) {
    return s.marker == app1 && startsWith(s.payload, extensionSignature) && s.payload.size() >= extensionHeader;
}
bool isIcc(const MetadataSegment& s) { return s.marker == app2 && startsWith(s.payload, iccSignature); }
bool isPhotoshop(const MetadataSegment& s) { return s.marker == app13 && startsWith(s.payload, photoshopSignature); }

std::uint32_t bigEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
void appendBigEndian32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

MetadataSegment segment(int marker, std::string_view signature, std::span<const std::uint8_t> data) {
    MetadataSegment result{marker, Bytes(signature.begin(), signature.end())};
    result.payload.insert(result.payload.end(), data.begin(), data.end());
    return result;
}

std::span<const std::uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// ---- EXIF

std::optional<Bytes> fittedExif(std::span<const std::uint8_t> tiff, const CopyChanges& changes, bool mayShrink) {
    auto patched = patchExif(tiff, changes);
    if (!patched && patched.error() == ExifPatchFailure::tangled) {
        // Tables lying inside one another cannot be changed in place; the
        // standard IFDs, written out anew, can.
        if (const Bytes standard = standardExif(tiff); !standard.empty()) patched = patchExif(standard, changes);
    }
    if (!patched) return std::nullopt;
    const std::size_t limit = maximumSegmentPayload - exifSignature.size();
    if (patched->tiff.size() <= limit || !mayShrink) return std::move(patched->tiff);
    // A block from another container may be larger than a JPEG segment.
    // What follows the last byte anything kept refers to is the zeroed
    // thumbnail or GPS data, or unused space: cut it off.
    if (patched->usedLength <= limit) {
        patched->tiff.resize(patched->usedLength);
        return std::move(patched->tiff);
    }
    // Still too large: the standard IFDs survive, rewritten without the
    // maker note, which cannot move without breaking its offsets.
    Bytes standard = standardExif(patched->tiff);
    if (standard.empty() || standard.size() > limit) return std::nullopt;
    return standard;
}

// Whether a reader other than the writer finds the copy's date in the block.
bool recordsDate(const Bytes& tiff, const CopyDate& date) {
    MetadataBlocks blocks;
    blocks.exif = tiff;
    const auto properties = metadataProperties(blocks);
    const auto& exif = dates::group(properties, dates::keys::exif);
    const std::string text = exifDateText(date.date);
    return std::ranges::all_of(std::array{dates::keys::dateTimeOriginal, dates::keys::dateTimeDigitized}, [&](auto key) {
        const auto* value = dates::find(exif, key);
        return value != nullptr && value->string() && *value->string() == text;
    });
}

std::optional<Bytes> exifForCopy(std::span<const std::uint8_t> tiff, const CopyChanges& changes, bool mayShrink) {
    auto copy = fittedExif(tiff, changes, mayShrink);
    if (!copy || !changes.date || recordsDate(*copy, *changes.date)) return copy;
    // The date is what a copy must carry. A block too damaged or too full
    // to take it as it stands is rebuilt from its standard IFDs without the
    // maker note (found by fuzzing: a full block whose Exif IFD pointer led
    // back to IFD0), and failing that the date goes into a block of its own.
    if (const Bytes standard = standardExif(*copy); !standard.empty()) {
        if (auto rebuilt = fittedExif(standard, changes, true); rebuilt && recordsDate(*rebuilt, *changes.date))
            return rebuilt;
    }
    return fittedExif(emptyExif(), changes, false);
}

// ---- XMP

struct ExtendedXmp {
    std::string guid;
    Bytes packet;
};

// The extended packet named by guid, when its chunks cover it exactly.
std::optional<Bytes> assembleExtension(const std::vector<MetadataSegment>& segments, std::string_view guid) {
    std::optional<std::uint32_t> length;
    std::map<std::uint32_t, std::span<const std::uint8_t>> chunks;
    std::size_t covered = 0;
    for (const MetadataSegment& s : segments) {
        if (!isExtension(s) || std::string_view(reinterpret_cast<const char*>(s.payload.data()) + 35, 32) != guid) continue;
        const std::uint32_t full = bigEndian32(s.payload.data() + 67);
        const std::uint32_t offset = bigEndian32(s.payload.data() + 71);
        if (length && *length != full) return std::nullopt;
        length = full;
        const std::span<const std::uint8_t> data(s.payload.data() + extensionHeader, s.payload.size() - extensionHeader);
        if (!chunks.emplace(offset, data).second) continue;  // a repeated chunk
        covered += data.size();
    }
    if (!length || covered != *length) return std::nullopt;
    Bytes packet;
    packet.reserve(*length);
    for (const auto& [offset, data] : chunks) {
        if (offset != packet.size()) return std::nullopt;
        packet.insert(packet.end(), data.begin(), data.end());
    }
    return packet;
}

std::vector<MetadataSegment> extensionSegments(std::string_view guid, const Bytes& packet) {
    std::vector<MetadataSegment> result;
    const std::size_t room = maximumSegmentPayload - extensionHeader;
    for (std::size_t offset = 0; offset < packet.size(); offset += room) {
        MetadataSegment s{app1, Bytes(extensionSignature.begin(), extensionSignature.end())};
        s.payload.insert(s.payload.end(), guid.begin(), guid.end());
        appendBigEndian32(s.payload, static_cast<std::uint32_t>(packet.size()));
        appendBigEndian32(s.payload, static_cast<std::uint32_t>(offset));
        const std::size_t size = std::min(room, packet.size() - offset);
        s.payload.insert(s.payload.end(), packet.begin() + static_cast<std::ptrdiff_t>(offset),
                         packet.begin() + static_cast<std::ptrdiff_t>(offset + size));
        result.push_back(std::move(s));
    }
    return result;
}

// The main packet and, when it names one, its extended packet, both edited.
struct XmpForCopy {
    std::optional<Bytes> main;                  // nullopt: leave XMP out
    std::string sourceGuid;                     // the extension the source's main packet names
    std::optional<ExtendedXmp> newExtension;    // set when the extended packet changed
    bool dropExtension = false;                 // the extended packet could not be read or edited
};

XmpForCopy xmpForCopy(const std::vector<MetadataSegment>& segments, std::span<const std::uint8_t> main,
                      const CopyChanges& changes) {
    XmpForCopy result;
    std::vector<XmpEdit> edits = xmpEditsForCopy(changes);
    if (auto guid = xmpValue(main, xmpns::note, "HasExtendedXMP"); guid && guid->size() == 32) {
        result.sourceGuid = *guid;
        // Chunks that do not make up the whole packet cannot be read, nor
        // checked for what must go: they are left out.
        const auto extended = assembleExtension(segments, *guid);
        auto edited = extended ? editXmp(*extended, edits) : std::nullopt;
        if (!edited) {
            result.dropExtension = true;
        } else if (*edited != *extended) {
            const std::string newGuid = md5Hex(*edited);
            result.newExtension = ExtendedXmp{newGuid, std::move(*edited)};
            edits.push_back({xmpns::note, "HasExtendedXMP", newGuid});
        }
    }
    result.main = editXmp(main, edits);
    if (result.main && !trimXmpPadding(*result.main, maximumSegmentPayload - xmpSignature.size())) result.main.reset();
    if (!result.main) result.dropExtension = true;
    return result;
}

// ---- Photoshop resources

// The image resources without the thumbnail resources (0x0409, 0x040C);
// nullopt when there were none or the resources cannot be followed.
std::optional<Bytes> withoutThumbnails(const Bytes& resources) {
    Bytes kept;
    bool removed = false;
    std::size_t at = 0;
    while (at < resources.size()) {
        if (resources.size() - at < 12) return std::nullopt;
        const std::size_t start = at;
        const std::uint32_t id = std::uint32_t{resources[at + 4]} << 8 | resources[at + 5];
        std::size_t cursor = at + 6;
        const std::size_t nameLength = resources[cursor];
        cursor += 1 + nameLength + ((nameLength + 1) % 2);  // the name is padded to an even length
        if (cursor + 4 > resources.size()) return std::nullopt;
        const std::size_t length = bigEndian32(resources.data() + cursor);
        cursor += 4;
        if (length > resources.size() - cursor) return std::nullopt;
        at = std::min(resources.size(), cursor + length + (length % 2));
        if (id == 0x0409 || id == 0x040C) {
            removed = true;
            continue;
        }
        kept.insert(kept.end(), resources.begin() + static_cast<std::ptrdiff_t>(start),
                    resources.begin() + static_cast<std::ptrdiff_t>(at));
    }
    if (!removed) return std::nullopt;
    return kept;
}

std::vector<MetadataSegment> photoshopSegments(const Bytes& resources) {
    std::vector<MetadataSegment> result;
    const std::size_t room = maximumSegmentPayload - photoshopSignature.size();
    for (std::size_t offset = 0; offset < resources.size(); offset += room) {
        const std::size_t size = std::min(room, resources.size() - offset);
        result.push_back(segment(app13, photoshopSignature, std::span(resources).subspan(offset, size)));
    }
    return result;
}

// ---- ICC

std::vector<MetadataSegment> iccSegments(const Bytes& profile) {
    std::vector<MetadataSegment> result;
    const std::size_t room = maximumSegmentPayload - iccSignature.size() - 2;
    const std::size_t count = (profile.size() + room - 1) / room;
    if (count == 0 || count > 255) return result;
    for (std::size_t i = 0; i < count; ++i) {
        MetadataSegment s{app2, Bytes(iccSignature.begin(), iccSignature.end())};
        s.payload.push_back(static_cast<std::uint8_t>(i + 1));
        s.payload.push_back(static_cast<std::uint8_t>(count));
        const std::size_t size = std::min(room, profile.size() - i * room);
        s.payload.insert(s.payload.end(), profile.begin() + static_cast<std::ptrdiff_t>(i * room),
                         profile.begin() + static_cast<std::ptrdiff_t>(i * room + size));
        result.push_back(std::move(s));
    }
    return result;
}

enum class ProfileChoice { keep, srgb, none };

// The copy's pixels are RGB; a profile of another colour space, or one the
// pixels were not decoded in, would be read wrongly.
ProfileChoice profileChoice(const MetadataBlocks& source) {
    switch (source.pixelProfile) {
        case PixelProfile::srgb: return ProfileChoice::srgb;
        case PixelProfile::none: return ProfileChoice::none;
        case PixelProfile::stored: break;
    }
    return iccColourSpace(source.icc) == IccColourSpace::rgb ? ProfileChoice::keep : ProfileChoice::none;
}

// ---- JFIF

bool isJfif(const MetadataSegment& s) { return s.marker == app0 && startsWith(s.payload, {"JFIF\0", 5}) && s.payload.size() >= 14; }
bool isJfxx(const MetadataSegment& s) { return s.marker == app0 && startsWith(s.payload, {"JFXX\0", 5}); }

MetadataSegment jfifWithoutThumbnail(const MetadataSegment& jfif) {
    MetadataSegment result{app0, Bytes(jfif.payload.begin(), jfif.payload.begin() + 14)};
    result.payload[12] = 0;  // thumbnail width and height
    result.payload[13] = 0;
    return result;
}

// ---- JPEG sources

std::vector<MetadataSegment> fromJpegSegments(const MetadataBlocks& source, const CopyChanges& changes) {
    const auto& segments = source.segments;
    std::vector<MetadataSegment> out;
    // JFIF comes first wherever the source had it.
    if (auto jfif = std::find_if(segments.begin(), segments.end(), isJfif); jfif != segments.end())
        out.push_back(jfifWithoutThumbnail(*jfif));

    const ProfileChoice profile = profileChoice(source);
    bool profileWritten = false;
    bool exifWritten = false;
    // The main packet decides about its extension, wherever the two are stored.
    std::optional<XmpForCopy> xmp;
    if (auto main = std::find_if(segments.begin(), segments.end(), isXmp); main != segments.end())
        xmp = xmpForCopy(segments, std::span(main->payload).subspan(xmpSignature.size()), changes);
    bool mainWritten = false;
    bool extensionWritten = false;

    for (std::size_t i = 0; i < segments.size(); ++i) {
        const MetadataSegment& s = segments[i];
        if (isJfif(s) || isJfxx(s)) continue;
        if (s.marker == app14 && startsWith(s.payload, {"Adobe", 5})) continue;
        if (s.marker == app2 && startsWith(s.payload, {"MPF\0", 4})) continue;
        if (isExif(s)) {
            if (auto tiff = exifForCopy(std::span(s.payload).subspan(6), changes, false)) {
                out.push_back(segment(app1, std::string_view(reinterpret_cast<const char*>(s.payload.data()), 6), *tiff));
                exifWritten = true;
            }
        } else if (isXmp(s)) {
            if (mainWritten) continue;  // a second main packet is not XMP any reader follows
            mainWritten = true;
            if (xmp->main) out.push_back(segment(app1, xmpSignature, *xmp->main));
        } else if (isExtension(s)) {
            const std::string guid(reinterpret_cast<const char*>(s.payload.data()) + 35, 32);
            const bool named = xmp && guid == xmp->sourceGuid;
            if (!named) {
                out.push_back(s);  // belongs to no main packet we changed
            } else if (xmp->dropExtension) {
                continue;
            } else if (!xmp->newExtension) {
                out.push_back(s);
            } else if (!extensionWritten) {
                extensionWritten = true;
                for (auto& chunk : extensionSegments(xmp->newExtension->guid, xmp->newExtension->packet))
                    out.push_back(std::move(chunk));
            }
        } else if (isIcc(s)) {
            if (profile == ProfileChoice::keep) {
                out.push_back(s);
            } else if (profile == ProfileChoice::srgb && !profileWritten) {
                for (auto& chunk : iccSegments(srgbProfile())) out.push_back(std::move(chunk));
            }
            profileWritten = true;
        } else if (isPhotoshop(s)) {
            // Resources may run on over consecutive segments.
            std::size_t end = i;
            Bytes resources;
            while (end < segments.size() && isPhotoshop(segments[end])) {
                const Bytes& payload = segments[end].payload;
                resources.insert(resources.end(), payload.begin() + static_cast<std::ptrdiff_t>(photoshopSignature.size()),
                                 payload.end());
                ++end;
            }
            auto kept = withoutThumbnails(resources);
            if (changes.date) {
                Bytes edited = kept ? *kept : resources;
                if (setIptcDatesInResources(edited, *changes.date)) kept = std::move(edited);
            }
            if (kept) {
                for (auto& part : photoshopSegments(*kept)) out.push_back(std::move(part));
            } else {
                out.insert(out.end(), segments.begin() + static_cast<std::ptrdiff_t>(i),
                           segments.begin() + static_cast<std::ptrdiff_t>(end));
            }
            i = end - 1;
        } else {
            out.push_back(s);
        }
    }
    if (profile == ProfileChoice::srgb && !profileWritten)
        for (auto& chunk : iccSegments(srgbProfile())) out.push_back(std::move(chunk));
    // A date to write and no EXIF to write it into: a block of its own, where
    // EXIF goes, right after JFIF.
    if (changes.date && !exifWritten) {
        if (auto tiff = exifForCopy(emptyExif(), changes, false)) {
            const bool afterJfif = !out.empty() && isJfif(out.front());
            out.insert(out.begin() + (afterJfif ? 1 : 0), segment(app1, exifSignature, *tiff));
        }
    }
    return out;
}

// ---- other sources

std::vector<MetadataSegment> fromBlocks(const MetadataBlocks& source, const CopyChanges& changes) {
    std::vector<MetadataSegment> out;
    std::optional<Bytes> tiff;
    if (!source.exif.empty()) tiff = exifForCopy(source.exif, changes, true);
    // A date to write and no EXIF to write it into: a block of its own.
    if (!tiff && changes.date) tiff = exifForCopy(emptyExif(), changes, false);
    if (tiff) out.push_back(segment(app1, exifSignature, *tiff));
    if (!source.xmp.empty()) {
        const auto edits = xmpEditsForCopy(changes);
        if (auto edited = editXmp(bytesOf(source.xmp), edits)) {
            const std::size_t limit = maximumSegmentPayload - xmpSignature.size();
            if (trimXmpPadding(*edited, limit)) {
                out.push_back(segment(app1, xmpSignature, *edited));
            } else if (auto split = splitXmp(std::string_view(reinterpret_cast<const char*>(edited->data()), edited->size()), limit)) {
                out.push_back(segment(app1, xmpSignature, bytesOf(split->main)));
                const auto extended = bytesOf(split->extended);
                for (auto& chunk : extensionSegments(split->guid, Bytes(extended.begin(), extended.end())))
                    out.push_back(std::move(chunk));
            }
        }
    }
    switch (profileChoice(source)) {
        case ProfileChoice::keep:
            for (auto& chunk : iccSegments(source.icc)) out.push_back(std::move(chunk));
            break;
        case ProfileChoice::srgb:
            for (auto& chunk : iccSegments(srgbProfile())) out.push_back(std::move(chunk));
            break;
        case ProfileChoice::none: break;
    }
    if (!source.iptc.empty()) {
        Bytes resource = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0};
        appendBigEndian32(resource, static_cast<std::uint32_t>(source.iptc.size()));
        resource.insert(resource.end(), source.iptc.begin(), source.iptc.end());
        if (changes.date) setIptcDates(std::span(resource).subspan(12), *changes.date);
        if (resource.size() % 2 != 0) resource.push_back(0);
        for (auto& part : photoshopSegments(resource)) out.push_back(std::move(part));
    }
    return out;
}

}  // namespace

std::vector<MetadataSegment> segmentsForCopy(const MetadataBlocks& source, const CopyChanges& changes) {
    std::vector<MetadataSegment> segments =
        source.segments.empty() ? fromBlocks(source, changes) : fromJpegSegments(source, changes);
    std::erase_if(segments, [](const MetadataSegment& s) { return s.payload.size() > maximumSegmentPayload; });
    return segments;
}

}  // namespace veltrop::platform
