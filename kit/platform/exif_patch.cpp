#include "kit/platform/exif_patch.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "kit/platform/copy_segments.h"
#include "kit/platform/exif_dates.h"
#include "kit/platform/tiff_ifd.h"

namespace veltrop::platform {

namespace {

using namespace tiff;

constexpr std::uint16_t tagImageWidth = 0x0100;
constexpr std::uint16_t tagImageLength = 0x0101;
constexpr std::uint16_t tagStripOffsets = 0x0111;
constexpr std::uint16_t tagOrientation = 0x0112;
constexpr std::uint16_t tagStripByteCounts = 0x0117;
constexpr std::uint16_t tagSubIfds = 0x014A;
constexpr std::uint16_t tagThumbnailOffset = 0x0201;
constexpr std::uint16_t tagThumbnailLength = 0x0202;
constexpr std::uint16_t tagExifIfd = 0x8769;
constexpr std::uint16_t tagGpsIfd = 0x8825;
constexpr std::uint16_t tagPixelXDimension = 0xA002;
constexpr std::uint16_t tagPixelYDimension = 0xA003;
constexpr std::uint16_t tagInteropIfd = 0xA005;

// Real files hold IFD0, IFD1 and a few sub-IFDs; a longer chain or deeper
// nesting is a loop or an attack.
constexpr int maximumChain = 8;
constexpr int maximumDepth = 4;

bool isSubIfdPointer(const Entry& entry) {
    return entry.tag == tagExifIfd || entry.tag == tagInteropIfd || entry.tag == tagSubIfds || entry.type == typeIfd;
}

class Patcher {
public:
    Patcher(std::vector<std::uint8_t>& bytes, const CopyChanges& changes) : block_(bytes), changes_(changes) {}

    std::expected<void, ExifPatchFailure> run() {
        const auto ifd0 = readIfd(block_, block_.read(4, 4));
        if (!ifd0) return std::unexpected(ExifPatchFailure::notTiff);
        kept_.push_back({0, 8});
        structure_.push_back({0, 8});
        keep(*ifd0, 0);

        for (const auto& [pointer, offsets] : extraExifIfds_) keepFirstExifIfd(pointer, offsets);

        // A damaged directory may name the GPS directory more than once.
        for (const Entry& gps : ifd0->entries) {
            if (gps.tag != tagGpsIfd) continue;
            for (std::uint32_t offset : integers(block_, gps)) {
                if (changes_.removeGPS)
                    removeIfd(offset);
                else
                    keepIfd(offset, 1);
            }
        }
        // IFD1 holds the thumbnail; anything chained after it goes with it.
        std::uint32_t next = ifd0->next;
        for (int chain = 0; next != 0 && chain < maximumChain; ++chain) next = removeIfd(next);

        const auto width = static_cast<std::uint32_t>(changes_.width);
        const auto height = static_cast<std::uint32_t>(changes_.height);
        setInteger(*ifd0, tagOrientation, 1, typeShort);
        setInteger(*ifd0, tagImageWidth, width, typeLong);
        setInteger(*ifd0, tagImageLength, height, typeLong);
        if (const Entry* pointer = ifd0->find(tagExifIfd)) {
            for (std::uint32_t offset : integers(block_, *pointer)) {
                if (const auto exif = readIfd(block_, offset)) {
                    setInteger(*exif, tagPixelXDimension, width, typeLong);
                    setInteger(*exif, tagPixelYDimension, height, typeLong);
                }
            }
        }
        if (changes_.removeGPS) {
            // Read again: sizes and pointers may have been rewritten since.
            const auto current = readIfd(block_, ifd0->at);
            if (current && tangled(*current)) return std::unexpected(ExifPatchFailure::tangled);
        }
        if (ifd0->nextField) block_.write(*ifd0->nextField, 0, 4);
        if (changes_.removeGPS) {
            // Each unlink moves the entries after it: read the table again each time.
            for (std::size_t left = ifd0->entries.size(); left > 0; --left) {
                const auto current = readIfd(block_, ifd0->at);
                if (!current || !current->find(tagGpsIfd)) break;
                unlinkEntry(*current, tagGpsIfd);
            }
        }

        for (const Range& range : removed_) zeroUnlessKept(range);
        if (changes_.date) {
            // A block must still fit one JPEG segment after its signature.
            const std::size_t limit = maximumSegmentPayload - 6;
            for (const Range& range : writeCopyDate(block_, *changes_.date, limit, kept_))
                zeroUnlessKept(range);
        }
        return {};
    }

    std::size_t usedLength() const {
        std::size_t end = 0;
        for (const Range& range : kept_) end = std::max(end, range.end);
        return end;
    }

private:
    void keep(const Ifd& ifd, int depth) {
        visited_.push_back(ifd.at);
        kept_.push_back(ifd.table());
        structure_.push_back(ifd.table());
        for (const Entry& entry : ifd.entries) {
            if (entry.outOfLine && entry.value) kept_.push_back(*entry.value);
            if (entry.tag == tagGpsIfd || !isSubIfdPointer(entry)) continue;
            auto offsets = integers(block_, entry);
            // The metadata library reads an Exif IFD pointer's second value
            // as the GPS IFD (found by fuzzing): without location, the
            // pointer keeps its first value only.
            if (changes_.removeGPS && entry.tag == tagExifIfd && offsets.size() > 1) {
                extraExifIfds_.emplace_back(entry, offsets);
                offsets.resize(1);
            }
            for (std::uint32_t offset : offsets) keepIfd(offset, depth + 1);
        }
    }

    // Rewrites the pointer as a single inline value; the other IFDs it named go.
    void keepFirstExifIfd(const Entry& pointer, const std::vector<std::uint32_t>& offsets) {
        for (std::size_t i = 1; i < offsets.size(); ++i) removeIfd(offsets[i]);
        if (pointer.outOfLine && pointer.value) {
            dropOne(kept_, *pointer.value);
            removed_.push_back(*pointer.value);
        }
        block_.write(pointer.at + 2, typeLong, 2);
        block_.write(pointer.at + 4, 1, 4);
        block_.write(pointer.at + 8, offsets.front(), 4);
    }

    void keepIfd(std::size_t offset, int depth) {
        if (depth > maximumDepth || std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return;
        if (const auto ifd = readIfd(block_, offset)) keep(*ifd, depth);
    }

    // Marks an IFD, its values and the image data it locates for zeroing.
    // Returns the offset of the next IFD in its chain (0 for none).
    std::uint32_t removeIfd(std::size_t offset) {
        if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return 0;
        visited_.push_back(offset);
        const auto ifd = readIfd(block_, offset);
        if (!ifd) return 0;
        removed_.push_back(ifd->table());
        structure_.push_back(ifd->table());
        for (const Entry& entry : ifd->entries)
            if (entry.outOfLine && entry.value) removed_.push_back(*entry.value);
        removeImageData(*ifd, tagThumbnailOffset, tagThumbnailLength);
        removeImageData(*ifd, tagStripOffsets, tagStripByteCounts);
        return ifd->next;
    }

    void removeImageData(const Ifd& ifd, std::uint16_t offsetTag, std::uint16_t lengthTag) {
        const Entry* offsets = ifd.find(offsetTag);
        const Entry* lengths = ifd.find(lengthTag);
        if (offsets == nullptr || lengths == nullptr) return;
        const auto starts = integers(block_, *offsets);
        const auto sizes = integers(block_, *lengths);
        for (std::size_t i = 0; i < std::min(starts.size(), sizes.size()); ++i) {
            if (starts[i] >= block_.size()) continue;
            removed_.push_back({starts[i], std::min<std::size_t>(block_.size(), std::size_t{starts[i]} + sizes[i])});
        }
    }

    // Overwrites the first value of an integer entry. An entry whose type
    // cannot hold the value becomes a single inline value of fallbackType;
    // an inline field has room for a LONG, so nothing has to move.
    // Every entry of the tag: a tag stored twice is read differently by
    // different readers, so a value the copy sets must hold in each.
    void setInteger(const Ifd& ifd, std::uint16_t tag, std::uint32_t value, std::uint16_t fallbackType) {
        for (const Entry& entry : ifd.entries)
            if (entry.tag == tag) setInteger(entry, value, fallbackType);
    }

    void setInteger(const Entry& entry, std::uint32_t value, std::uint16_t fallbackType) {
        int width = 0;
        if (entry.type == typeShort && value <= 0xFFFF) width = 2;
        if (entry.type == typeLong) width = 4;
        if (entry.type == typeByte && value <= 0xFF) width = 1;
        // Only a single value is set in place: of several, readers take the first or the whole list.
        if (width != 0 && entry.count == 1 && entry.value &&
            entry.value->end - entry.value->begin >= static_cast<std::size_t>(width) && ownsValue(entry)) {
            block_.write(entry.value->begin, value, width);
            return;
        }
        if (fallbackType == typeShort && value > 0xFFFF) fallbackType = typeLong;
        block_.write(entry.at + 2, fallbackType, 2);
        block_.write(entry.at + 4, 1, 4);
        block_.write(entry.at + 8, 0, 4);
        block_.write(entry.at + 8, value, static_cast<int>(typeSize(fallbackType)));
    }

    // Whether an entry's value bytes are its own to write: a damaged entry
    // may point into the header, a table or another value.
    bool ownsValue(const Entry& entry) const {
        if (!entry.outOfLine) return true;
        const Range value = *entry.value;
        const auto overlaps = [&](const Range& r) { return r.begin < value.end && value.begin < r.end; };
        if (std::any_of(structure_.begin(), structure_.end(), overlaps)) return false;
        return std::none_of(kept_.begin(), kept_.end(), [&](const Range& r) {
            return overlaps(r) && r != value;
        });
    }

    // Whether taking the GPS pointer out of IFD0 would move something else:
    // the entries after it close up, so a table, a value or a pointer's
    // target lying among them would change too (found by fuzzing: an Exif
    // IFD starting inside IFD0, which its closing up made readable).
    bool tangled(const Ifd& ifd0) const {
        const Entry* gps = ifd0.find(tagGpsIfd);
        if (gps == nullptr) return false;
        const Range moved{gps->at, ifd0.table().end};
        const auto inside = [&](const Range& r) { return r.begin < moved.end && moved.begin < r.end; };
        const auto other = [&](const Range& r) {
            return r != Range{0, 8} && r != ifd0.table();
        };
        for (const auto* ranges : {&kept_, &structure_})
            for (const Range& r : *ranges)
                if (other(r) && inside(r)) return true;
        for (const Entry& entry : ifd0.entries) {
            if (entry.tag == tagGpsIfd || !isSubIfdPointer(entry)) continue;
            for (std::uint32_t offset : integers(block_, entry))
                if (offset >= moved.begin && offset < moved.end) return true;
        }
        return false;
    }

    // Takes an entry out of the IFD's table: the later entries close up,
    // the table ends 12 bytes earlier and those bytes are zeroed. The next
    // IFD's offset was set to 0 before.
    void unlinkEntry(const Ifd& ifd, std::uint16_t tag) {
        const auto it = std::find_if(ifd.entries.begin(), ifd.entries.end(), [tag](const Entry& e) { return e.tag == tag; });
        if (it == ifd.entries.end()) return;
        const std::size_t count = ifd.entries.size();
        const std::size_t end = ifd.table().end;
        block_.move(it->at + 12, it->at, end - (it->at + 12));
        block_.write(ifd.at, static_cast<std::uint32_t>(count - 1), 2);
        block_.zero({end - 12, end});
    }

    void zeroUnlessKept(Range range) {
        // Kept parts cut the range into pieces that may be zeroed.
        std::vector<Range> pieces{range};
        for (const Range& keep : kept_) {
            std::vector<Range> rest;
            for (const Range& piece : pieces) {
                if (keep.end <= piece.begin || keep.begin >= piece.end) {
                    rest.push_back(piece);
                    continue;
                }
                if (piece.begin < keep.begin) rest.push_back({piece.begin, keep.begin});
                if (keep.end < piece.end) rest.push_back({keep.end, piece.end});
            }
            pieces = std::move(rest);
        }
        for (const Range& piece : pieces) block_.zero(piece);
    }

    Block block_;
    CopyChanges changes_;
    std::vector<Range> kept_;
    std::vector<Range> removed_;
    std::vector<Range> structure_;  // the header and every table read
    std::vector<std::size_t> visited_;
    std::vector<std::pair<Entry, std::vector<std::uint32_t>>> extraExifIfds_;
};

}  // namespace

std::expected<PatchedExif, ExifPatchFailure> patchExif(std::span<const std::uint8_t> tiff, const CopyChanges& changes) {
    if (tiff.size() < 8) return std::unexpected(ExifPatchFailure::notTiff);
    const bool little = tiff[0] == 'I' && tiff[1] == 'I' && tiff[2] == 42 && tiff[3] == 0;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M' && tiff[2] == 0 && tiff[3] == 42;
    if (!little && !big) return std::unexpected(ExifPatchFailure::notTiff);
    PatchedExif patched{{tiff.begin(), tiff.end()}, 0};
    Patcher patcher(patched.tiff, changes);
    if (const auto run = patcher.run(); !run) return std::unexpected(run.error());
    patched.usedLength = patcher.usedLength();
    return patched;
}

}  // namespace veltrop::platform
