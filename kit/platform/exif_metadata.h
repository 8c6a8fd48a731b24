#pragma once
// Interpreting metadata blocks (EXIF, XMP, IPTC).

#include <cstdint>
#include <span>
#include <vector>

#include "kit/dates/properties.h"
#include "kit/platform/metadata_blocks.h"

namespace veltrop::platform {

// Silences the metadata library's own logging and initialises its XMP
// parser, which is not thread-safe to set up. Runs once; call it before
// starting worker threads. Every function below also calls it.
void prepareMetadataLibrary();

// The Exif, ExifAux, TIFF, GPS and IPTC groups of the properties tree, with
// values of the types stored: ASCII as strings, integers and rationals as
// numbers, several values as lists. Unreadable blocks give empty groups.
dates::PropertyDictionary metadataProperties(const MetadataBlocks& blocks);

// The block rewritten with the standard IFDs only (IFD0, EXIF, GPS,
// interoperability), for when the whole block cannot be carried: the maker
// note and the thumbnail are left out. Empty when the block cannot be read.
std::vector<std::uint8_t> standardExif(std::span<const std::uint8_t> tiff);

}  // namespace veltrop::platform
