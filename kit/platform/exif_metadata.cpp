#include "kit/platform/exif_metadata.h"

// The metadata library's headers use std::auto_ptr throughout.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

namespace veltrop::platform {

using dates::PropertyDictionary;
using dates::PropertyList;
using dates::PropertyValue;

namespace {

// The XMP toolkit keeps a global namespace registry that parsing may extend;
// the metadata library serialises access through this callback.
void lockXmpToolkit(void* data, bool lock) {
    auto* mutex = static_cast<std::recursive_mutex*>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

}  // namespace

void prepareMetadataLibrary() {
    static std::once_flag once;
    static std::recursive_mutex xmpToolkit;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(lockXmpToolkit, &xmpToolkit);
    });
}

namespace {

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// One stored component as a number; nullopt for a rational with denominator 0
// and for a float that is not finite.
std::optional<double> component(const Exiv2::Value& value, long index) {
    switch (value.typeId()) {
        case Exiv2::unsignedRational: {
            const auto& rational = static_cast<const Exiv2::URationalValue&>(value).value_.at(static_cast<std::size_t>(index));
            if (rational.second == 0) return std::nullopt;
            return static_cast<double>(rational.first) / rational.second;
        }
        case Exiv2::signedRational: {
            const auto& rational = static_cast<const Exiv2::RationalValue&>(value).value_.at(static_cast<std::size_t>(index));
            if (rational.second == 0) return std::nullopt;
            return static_cast<double>(rational.first) / rational.second;
        }
        case Exiv2::tiffFloat:
        case Exiv2::tiffDouble: {
            // NaN would make two reads of one file unequal; neither is a measurement.
            const auto number = static_cast<double>(value.toFloat(index));
            if (!std::isfinite(number)) return std::nullopt;
            return number;
        }
        default:
            return static_cast<double>(value.toLong(index));
    }
}

// A value as the properties tree keeps it, or nullopt when it has no
// faithful form there (opaque bytes, offsets, broken rationals).
std::optional<PropertyValue> propertyOf(const Exiv2::Value& value) {
    switch (value.typeId()) {
        case Exiv2::asciiString: {
            std::string text = value.toString();
            // A C string: what follows the first NUL is padding.
            if (auto end = text.find('\0'); end != std::string::npos) text.resize(end);
            return PropertyValue(std::move(text));
        }
        case Exiv2::unsignedByte:
        case Exiv2::signedByte:
        case Exiv2::unsignedShort:
        case Exiv2::signedShort:
        case Exiv2::unsignedLong:
        case Exiv2::signedLong:
        case Exiv2::unsignedRational:
        case Exiv2::signedRational:
        case Exiv2::tiffFloat:
        case Exiv2::tiffDouble: {
            const long count = value.count();
            if (count <= 0) return std::nullopt;
            if (count == 1) {
                auto number = component(value, 0);
                if (!number) return std::nullopt;
                return PropertyValue(*number);
            }
            PropertyList list;
            for (long i = 0; i < count; ++i) {
                auto number = component(value, i);
                if (!number) return std::nullopt;
                list.emplace_back(*number);
            }
            return PropertyValue(std::move(list));
        }
        default:
            return std::nullopt;
    }
}

// Maker-note and XMP tags that name the lens and camera where the EXIF
// block has no field of its own, in order of preference.
struct AuxSource {
    std::string_view key;
    std::string_view auxName;
};
constexpr std::array auxSources{
    AuxSource{"Xmp.aux.Lens", "LensModel"},
    AuxSource{"Exif.Canon.LensModel", "LensModel"},
    AuxSource{"Exif.OlympusEq.LensModel", "LensModel"},
    AuxSource{"Exif.Panasonic.LensType", "LensModel"},
    AuxSource{"Xmp.aux.LensID", "LensID"},
    AuxSource{"Xmp.aux.LensInfo", "LensInfo"},
    AuxSource{"Xmp.aux.LensSerialNumber", "LensSerialNumber"},
    AuxSource{"Xmp.aux.SerialNumber", "SerialNumber"},
    AuxSource{"Exif.Canon.SerialNumber", "SerialNumber"},
    AuxSource{"Xmp.aux.ImageNumber", "ImageNumber"},
    AuxSource{"Xmp.aux.OwnerName", "OwnerName"},
    AuxSource{"Xmp.aux.Firmware", "Firmware"},
};

std::string_view groupKeyOf(const std::string& exivGroup) {
    if (exivGroup == "Image") return dates::keys::tiff;
    if (exivGroup == "Photo") return dates::keys::exif;
    if (exivGroup == "GPSInfo") return dates::keys::gps;
    return {};
}

bool isPointer(const Exiv2::Exifdatum& datum) {
    const std::string name = datum.tagName();
    return datum.typeId() == Exiv2::tiffIfd || name == "ExifTag" || name == "GPSTag" ||
           name == "InteroperabilityTag" || name == "MakerNote";
}

void addExif(const Exiv2::ExifData& exif, PropertyDictionary& properties) {
    std::map<std::string_view, PropertyDictionary> groups;
    for (const auto& datum : exif) {
        const std::string_view group = groupKeyOf(datum.groupName());
        if (group.empty() || isPointer(datum)) continue;
        if (auto value = propertyOf(datum.value())) groups[group].insert_or_assign(datum.tagName(), std::move(*value));
    }
    for (auto& [group, values] : groups) properties.insert_or_assign(std::string(group), std::move(values));
}

void addAux(const Exiv2::ExifData& exif, const Exiv2::XmpData& xmp, PropertyDictionary& properties) {
    PropertyDictionary aux;
    for (const AuxSource& source : auxSources) {
        if (aux.contains(source.auxName)) continue;
        std::optional<PropertyValue> value;
        if (startsWith(source.key, "Xmp.")) {
            auto it = xmp.findKey(Exiv2::XmpKey(std::string(source.key)));
            if (it != xmp.end()) value = PropertyValue(it->toString());
        } else {
            auto it = exif.findKey(Exiv2::ExifKey(std::string(source.key)));
            if (it != exif.end() && it->typeId() == Exiv2::asciiString) value = propertyOf(it->value());
        }
        if (value && value->string() && !value->string()->empty()) aux.emplace(source.auxName, std::move(*value));
    }
    if (!aux.empty()) properties.insert_or_assign(std::string(dates::keys::exifAux), std::move(aux));
}

void addIptc(const Exiv2::IptcData& iptc, PropertyDictionary& properties) {
    PropertyDictionary group;
    for (const auto& datum : iptc) {
        PropertyValue value(datum.toString());
        auto it = group.find(datum.tagName());
        if (it == group.end()) {
            group.emplace(datum.tagName(), std::move(value));
        } else if (const auto* list = it->second.list()) {
            PropertyList extended = *list;
            extended.push_back(std::move(value));
            it->second = PropertyValue(std::move(extended));
        } else {
            it->second = PropertyValue(PropertyList{it->second, std::move(value)});
        }
    }
    if (!group.empty()) properties.insert_or_assign(std::string(dates::keys::iptc), std::move(group));
}

bool decodeExif(const std::vector<std::uint8_t>& bytes, Exiv2::ExifData& exif, Exiv2::ByteOrder& order) {
    if (bytes.empty()) return false;
    try {
        order = Exiv2::ExifParser::decode(exif, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        return order != Exiv2::invalidByteOrder;
    } catch (...) {
        exif.clear();
        return false;
    }
}

bool decodeXmp(const std::string& packet, Exiv2::XmpData& xmp) {
    if (packet.empty()) return false;
    try {
        return Exiv2::XmpParser::decode(xmp, packet) == 0;
    } catch (...) {
        xmp.clear();
        return false;
    }
}

bool decodeIptc(const std::vector<std::uint8_t>& bytes, Exiv2::IptcData& iptc) {
    if (bytes.empty()) return false;
    try {
        return Exiv2::IptcParser::decode(iptc, bytes.data(), static_cast<std::uint32_t>(bytes.size())) == 0;
    } catch (...) {
        iptc.clear();
        return false;
    }
}

}  // namespace

PropertyDictionary metadataProperties(const MetadataBlocks& blocks) {
    prepareMetadataLibrary();
    PropertyDictionary properties;
    try {
        Exiv2::ExifData exif;
        Exiv2::ByteOrder order = Exiv2::invalidByteOrder;
        if (decodeExif(blocks.exif, exif, order)) addExif(exif, properties);
        Exiv2::XmpData xmp;
        if (!decodeXmp(blocks.xmp, xmp)) xmp.clear();
        addAux(exif, xmp, properties);
        Exiv2::IptcData iptc;
        if (decodeIptc(blocks.iptc, iptc)) addIptc(iptc, properties);
    } catch (...) {
        // Whatever was read before the failure stays; reading problems never raise errors.
    }
    return properties;
}

std::vector<std::uint8_t> standardExif(std::span<const std::uint8_t> tiff) {
    prepareMetadataLibrary();
    try {
        Exiv2::ExifData exif;
        const Exiv2::ByteOrder order =
            Exiv2::ExifParser::decode(exif, tiff.data(), static_cast<std::uint32_t>(tiff.size()));
        if (order == Exiv2::invalidByteOrder) return {};
        for (auto it = exif.begin(); it != exif.end();) {
            const std::string group = it->groupName();
            const bool standard = group == "Image" || group == "Photo" || group == "GPSInfo" || group == "Iop";
            const int type = static_cast<int>(it->typeId());
            it = standard && it->tagName() != "MakerNote" && type >= 1 && type <= 13 ? std::next(it) : exif.erase(it);
        }
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, order, exif);
        return blob;
    } catch (...) {
        return {};
    }
}

}  // namespace veltrop::platform
