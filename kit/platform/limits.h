#pragma once
// The limits that keep huge or hostile inputs from exhausting the machine,
// in one place. Memory figures are estimates of what a photo holds at its
// peak; they decide how many photos an export works on at once.

#include <cstddef>
#include <cstdint>

namespace veltrop::platform::limits {

// Bytes read from a photo at a time: a decoder reads what it needs and no
// more, whatever the size of the file.
inline constexpr std::size_t readChunkBytes = 64 * 1024;

// A progressive JPEG may hold any number of scans, each a pass over the
// whole picture; real encoders write about ten. Many more is an attack that
// would keep a worker busy for minutes.
inline constexpr int maximumJpegScans = 500;

// An export's memory budget: the photos it works on together may hold at
// most this fraction of the memory the program may use (the physical memory,
// or the control group's limit when that is smaller) …
inline constexpr double batchMemoryFraction = 0.5;
// … and never less than this, so that a small machine still stamps an
// ordinary photo.
inline constexpr std::uint64_t minimumBatchMemoryBytes = 512ull << 20;
// When the system does not say how much memory it has.
inline constexpr std::uint64_t assumedMemoryBytes = 4ull << 30;

// Per pixel of the decoded picture, besides the picture itself: the upright,
// stamped copy the renderer draws (taller with a data strip).
inline constexpr double renderBytesPerPixel = 5.0;
// Per stored pixel of an 8-bit HEIF picture, besides the picture: at the
// decoder's peak its own planes (1.5 bytes, 2.5 with alpha) and their
// conversion into RGB planes (3 or 4 bytes) are held together; the RGB planes
// are given back row by row as they are copied into the picture, so at most
// this much more than the picture is held at any time.
inline constexpr double heifDecoderBytesPerPixel = 2.5;
// The same for deeper pictures, which libheif brings to 8 bits through
// 16-bit intermediate pictures.
inline constexpr double deepHeifDecoderBytesPerPixel = 8.0;
// Per photo whatever its size: codec state, metadata, the encoder's buffers.
inline constexpr std::uint64_t photoOverheadBytes = 16ull << 20;

}  // namespace veltrop::platform::limits
