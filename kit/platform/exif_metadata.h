#pragma once
// Interpreting and rewriting metadata blocks (EXIF, XMP, IPTC).

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

struct CopyChanges {
    int width = 0;  // of the encoded copy
    int height = 0;
    bool removeGPS = false;
    bool operator==(const CopyChanges&) const = default;
};

// The blocks of an upright copy: orientation 1, no embedded thumbnail, pixel
// dimensions of the copy, GPS removed on request, in EXIF and XMP alike.
// Everything else is kept; EXIF entries of an invalid type are dropped and a
// block that cannot be parsed is left out rather than written back stale.
MetadataBlocks metadataForCopy(const MetadataBlocks& source, const CopyChanges& changes);

}  // namespace veltrop::platform
