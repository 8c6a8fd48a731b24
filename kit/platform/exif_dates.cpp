#include "kit/platform/exif_dates.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace veltrop::platform {

using namespace tiff;

namespace {

constexpr std::uint16_t tagExifIfd = 0x8769;
constexpr std::uint16_t tagExifVersion = 0x9000;
constexpr std::uint16_t tagDateTimeOriginal = 0x9003;
constexpr std::uint16_t tagCreateDate = 0x9004;
constexpr std::uint16_t tagOffsetTimeOriginal = 0x9011;
constexpr std::uint16_t tagOffsetTimeDigitized = 0x9012;
constexpr std::uint16_t tagSubSecTimeOriginal = 0x9291;
constexpr std::uint16_t tagSubSecTimeDigitized = 0x9292;
constexpr std::uint16_t typeUndefined = 7;

std::size_t even(std::size_t at) { return at + (at % 2); }

bool overlaps(const Range& a, const Range& b) { return a.begin < b.end && b.begin < a.end; }

// An entry of a type TIFF does not define means nothing to any reader, and
// a rewritten table sorts it to where readers give up on the whole table
// (a first entry that is unreadable): rewritten tables leave it out.
bool readable(const Entry& entry) { return typeSize(entry.type) != 0; }

// One entry of a table being written: a source entry's 12 bytes as they
// are, or a new value.
struct TableEntry {
    std::uint16_t tag = 0;
    std::optional<std::size_t> source;  // where the source entry lies
    std::uint16_t type = typeAscii;
    std::vector<std::uint8_t> value;    // a new entry's bytes: inline up to 4, after the tables beyond
};

TableEntry text(std::uint16_t tag, const std::string& value) {
    TableEntry entry{tag, std::nullopt, typeAscii, {value.begin(), value.end()}};
    entry.value.push_back(0);
    return entry;
}

struct Target {
    std::uint16_t tag;
    std::string value;
    bool present = false;  // held by an entry that was kept
};

class DateWriter {
public:
    DateWriter(Block& block, const CopyDate& date, std::size_t limit, std::vector<Range>& kept)
        : block_(block), date_(date), limit_(limit), kept_(kept) {}

    std::vector<Range> run() {
        const auto ifd0 = readIfd(block_, block_.read(4, 4));
        if (!ifd0) return {};
        const std::string dateText = exifDateText(date_.date);
        targets_ = {{tagDateTimeOriginal, dateText}, {tagCreateDate, dateText}};
        const std::optional<std::string> zone =
            date_.offsetSeconds ? std::optional(offsetText(*date_.offsetSeconds)) : std::nullopt;
        if (zone) targets_.push_back({tagOffsetTimeOriginal, *zone});
        std::optional<Ifd> exif;
        const Entry* pointer = ifd0->find(tagExifIfd);
        if (pointer != nullptr) {
            const auto offsets = integers(block_, *pointer);
            if (!offsets.empty() && offsets.front() != ifd0->at) exif = readIfd(block_, offsets.front());
        }
        // Date entries may share their bytes: they all take the same text.
        std::vector<const Entry*> dateEntries;
        const std::vector<Entry> none;
        for (const auto* entries : {&ifd0->entries, exif ? &exif->entries : &none})
            for (const Entry& entry : *entries)
                if (entry.tag == tagDateTimeOriginal || entry.tag == tagCreateDate) dateEntries.push_back(&entry);
        // Some writers put the dates in IFD0: those are overwritten, never added.
        for (const Entry& entry : ifd0->entries)
            if (entry.tag == tagDateTimeOriginal || entry.tag == tagCreateDate) setText(entry, dateText, dateEntries);

        std::vector<TableEntry> table;
        std::vector<const Entry*> unset;  // date entries whose bytes are shared with other values
        bool changed = false;
        for (const Entry& entry : exif ? exif->entries : none) {
            const bool subSecond = (entry.tag == tagSubSecTimeOriginal && !date_.keepSubSecondOriginal) ||
                                   (entry.tag == tagSubSecTimeDigitized && !date_.keepSubSecondDigitized);
            Target* target = targetFor(entry.tag);
            const bool unsettable = target != nullptr && !setText(entry, target->value, dateEntries);
            if (unsettable) unset.push_back(&entry);
            if (subSecond || !readable(entry) || unsettable) {
                if (entry.outOfLine && entry.value && !unsettable) release(*entry.value);
                changed = true;
                continue;
            }
            if (target != nullptr) target->present = true;
            if (entry.tag == tagOffsetTimeDigitized && zone) setText(entry, *zone, {});
            table.push_back({entry.tag, entry.at, 0, {}});
        }
        std::vector<TableEntry> added;
        for (const Target& target : targets_)
            if (!target.present) added.push_back(text(target.tag, target.value));
        if (!exif) added.push_back({tagExifVersion, std::nullopt, typeUndefined, {'0', '2', '3', '2'}});
        // Readers give up on a table holding an entry of an undefined type,
        // and with it on the dates below it: IFD0 is then written anew
        // without such entries (found by fuzzing).
        const bool ifd0Damaged = std::any_of(ifd0->entries.begin(), ifd0->entries.end(),
                                             [](const Entry& entry) { return !readable(entry); });
        if (!changed && added.empty() && !ifd0Damaged) return std::move(gone_);

        std::vector<TableEntry> tableWithAdded = table;
        tableWithAdded.insert(tableWithAdded.end(), added.begin(), added.end());
        std::stable_sort(tableWithAdded.begin(), tableWithAdded.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
        if ((!added.empty() || ifd0Damaged) && append(*ifd0, exif, pointer, tableWithAdded, ifd0Damaged)) {
            for (const Entry* entry : unset)
                if (entry->outOfLine && entry->value) release(*entry->value);
            return std::move(gone_);
        }
        // No room for a new table: what goes goes in place. A date is the
        // one value a copy must not lose, so one whose bytes other values
        // claim too is written over them after all, unless they are the
        // header, a table being kept, or part of another date (found by
        // fuzzing: a damaged directory running over the dates left the
        // copy without any).
        for (const Entry* entry : unset) {
            if (forceText(*entry, targetFor(entry->tag)->value, *ifd0, exif, dateEntries))
                table.push_back({entry->tag, entry->at, 0, {}});
            else if (entry->outOfLine && entry->value)
                release(*entry->value);
        }
        std::stable_sort(table.begin(), table.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
        if (exif) shrinkInPlace(*exif, table);
        if (ifd0Damaged) {
            std::vector<TableEntry> readableIfd0;
            for (const Entry& entry : ifd0->entries)
                if (readable(entry)) readableIfd0.push_back({entry.tag, entry.at, 0, {}});
            shrinkInPlace(*ifd0, readableIfd0);
        }
        return std::move(gone_);
    }

private:
    Target* targetFor(std::uint16_t tag) {
        for (Target& target : targets_)
            if (target.tag == tag) return &target;
        return nullptr;
    }

    // Overwrites a text value where it has room and its bytes are its own
    // (or another date entry's, which takes the same text); false otherwise.
    bool setText(const Entry& entry, const std::string& value, const std::vector<const Entry*>& sharing) {
        if (entry.type != typeAscii || !entry.value || entry.count < value.size() + 1) return false;
        const Range range = *entry.value;
        if (entry.outOfLine) {
            const auto referring = std::count_if(kept_.begin(), kept_.end(), [&](const Range& r) { return overlaps(r, range); });
            // Only dates stored in exactly these bytes take the same text; one
            // that overlaps them in part would be cut by this text (found by fuzzing).
            const auto dates = std::count_if(sharing.begin(), sharing.end(), [&](const Entry* e) {
                return e->outOfLine && e->value == range;
            });
            if (referring > std::max<std::ptrdiff_t>(dates, 1)) return false;
        }
        writeText(range, value);
        return true;
    }

    // The text, then zeros to the end of the range.
    void writeText(const Range& range, const std::string& value) {
        for (std::size_t i = 0; i < range.end - range.begin; ++i)
            block_.set(range.begin + i, i < value.size() ? static_cast<std::uint8_t>(value[i]) : 0);
    }

    bool forceText(const Entry& entry, const std::string& value, const Ifd& ifd0, const std::optional<Ifd>& exif,
                   const std::vector<const Entry*>& dates) {
        if (entry.type != typeAscii || !entry.value || entry.count < value.size() + 1) return false;
        const Range range = *entry.value;
        if (range.end > block_.size() || overlaps(range, {0, 8}) || overlaps(range, ifd0.table()) ||
            (exif && overlaps(range, exif->table())))
            return false;
        for (const Entry* other : dates) {
            if (!other->value || !other->outOfLine) continue;
            const Range theirs = *other->value;
            if (overlaps(theirs, range) && theirs != range) return false;
        }
        writeText(range, value);
        return true;
    }

    // A range that nothing refers to any more: one reference to it leaves
    // the kept ranges, and it is zeroed unless another remains.
    void release(const Range& range) {
        dropOne(kept_, range);
        gone_.push_back(range);
    }

    std::size_t tableSize(std::size_t entries) const { return 2 + 12 * entries + 4; }

    std::size_t valuesSize(const std::vector<TableEntry>& table) const {
        std::size_t size = 0;
        for (const TableEntry& entry : table)
            if (!entry.source && entry.value.size() > 4) size += even(entry.value.size());
        return size;
    }

    // Where `need` bytes can go: after the block's end, or, when that would
    // pass the limit, after the last byte that is kept or not zero.
    std::optional<std::size_t> place(std::size_t need) const {
        const std::size_t end = even(block_.size());
        if (end + need <= limit_) return end;
        std::size_t used = 8;
        for (const Range& range : kept_) used = std::max(used, range.end);
        std::size_t last = block_.size();
        while (last > used && block_.at(last - 1) == 0) --last;
        const std::size_t at = even(std::max(used, last));
        if (at + need <= limit_) return at;
        // Otherwise zeroed bytes that nothing kept covers, within the block:
        // what the copy removed (thumbnail, location) leaves such gaps.
        std::vector<Range> taken = kept_;
        taken.push_back({0, 8});
        std::sort(taken.begin(), taken.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
        taken.push_back({block_.size(), block_.size()});
        std::size_t from = 8;
        for (const Range& range : taken) {
            for (std::size_t gap = even(from); gap + need <= range.begin;) {
                std::size_t nonzero = gap;
                while (nonzero < gap + need && block_.at(nonzero) == 0) ++nonzero;
                if (nonzero == gap + need) return gap;
                gap = even(nonzero + 1);
            }
            from = std::max(from, range.end);
        }
        return std::nullopt;
    }

    // Writes a table at `at` with its values at `values`; returns where the values end.
    std::size_t writeTable(std::size_t at, const std::vector<TableEntry>& table, std::uint32_t next, std::size_t values) {
        // The source entries are read first: the table may be written over them.
        std::vector<std::uint8_t> copied;
        for (const TableEntry& entry : table)
            for (std::size_t i = 0; entry.source && i < 12; ++i) copied.push_back(block_.at(*entry.source + i));
        block_.write(at, static_cast<std::uint32_t>(table.size()), 2);
        std::size_t cursor = at + 2;
        std::size_t fromCopied = 0;
        for (const TableEntry& entry : table) {
            if (entry.source) {
                for (std::size_t i = 0; i < 12; ++i) block_.set(cursor + i, copied[fromCopied++]);
            } else {
                block_.write(cursor, entry.tag, 2);
                block_.write(cursor + 2, entry.type, 2);
                block_.write(cursor + 4, static_cast<std::uint32_t>(entry.value.size() / typeSize(entry.type)), 4);
                std::size_t valueAt = cursor + 8;
                block_.write(cursor + 8, 0, 4);
                if (entry.value.size() > 4) {
                    block_.write(cursor + 8, static_cast<std::uint32_t>(values), 4);
                    valueAt = values;
                    values = even(values + entry.value.size());
                }
                for (std::size_t i = 0; i < entry.value.size(); ++i) block_.set(valueAt + i, entry.value[i]);
            }
            cursor += 12;
        }
        block_.write(cursor, next, 4);
        return values;
    }

    // A new Exif IFD (and IFD0, when no pointer can be set) after the block's
    // used bytes; the old tables go.
    bool append(const Ifd& ifd0, const std::optional<Ifd>& exif, const Entry* pointer, const std::vector<TableEntry>& table,
                bool rewriteIfd0) {
        const bool pointerUsable = !rewriteIfd0 && pointer != nullptr && exif &&
                                   (pointer->type == typeLong || pointer->type == typeIfd) && pointer->count == 1;
        std::vector<TableEntry> newIfd0;
        if (!pointerUsable) {
            for (const Entry& entry : ifd0.entries)
                if (entry.tag != tagExifIfd && readable(entry)) newIfd0.push_back({entry.tag, entry.at, 0, {}});
            newIfd0.push_back({tagExifIfd, std::nullopt, typeLong, {0, 0, 0, 0}});
            std::stable_sort(newIfd0.begin(), newIfd0.end(), [](const auto& a, const auto& b) { return a.tag < b.tag; });
        }
        const std::size_t exifSize = tableSize(table.size()) + valuesSize(table);
        const std::size_t need = exifSize + (pointerUsable ? 0 : tableSize(newIfd0.size()));
        const auto at = place(need);
        if (!at) return false;
        if (*at + need > block_.size()) block_.resize(*at + need);

        const std::size_t exifAt = *at;
        writeTable(exifAt, table, exif ? exif->next : 0, exifAt + tableSize(table.size()));
        if (exif) release(exif->table());
        if (pointerUsable) {
            // A tag stored twice is read differently by different readers: each copy points to the new table.
            for (const Entry& entry : ifd0.entries)
                if (entry.tag == tagExifIfd && (entry.type == typeLong || entry.type == typeIfd) && entry.count == 1)
                    block_.write(entry.at + 8, static_cast<std::uint32_t>(exifAt), 4);
        } else {
            const std::size_t ifd0At = exifAt + exifSize;
            writeTable(ifd0At, newIfd0, 0, ifd0At + tableSize(newIfd0.size()));
            for (std::size_t i = 0; i < newIfd0.size(); ++i)
                if (newIfd0[i].tag == tagExifIfd && !newIfd0[i].source)
                    block_.write(ifd0At + 2 + 12 * i + 8, static_cast<std::uint32_t>(exifAt), 4);
            release(ifd0.table());
            // A pointer that could not be used goes with its table; its value, if any, too.
            if (pointer != nullptr && pointer->outOfLine && pointer->value) release(*pointer->value);
            block_.write(4, static_cast<std::uint32_t>(ifd0At), 4);
        }
        kept_.push_back({*at, *at + need});
        return true;
    }

    // The table without its removed entries, where it was; the freed end is zeroed.
    void shrinkInPlace(const Ifd& exif, const std::vector<TableEntry>& table) {
        std::vector<TableEntry> remaining;
        for (const TableEntry& entry : table)
            if (entry.source) remaining.push_back(entry);
        if (remaining.size() == exif.entries.size()) return;
        const Range old = exif.table();
        writeTable(exif.at, remaining, exif.next, 0);
        const Range now{exif.at, exif.at + tableSize(remaining.size())};
        release(old);
        kept_.push_back(now);
    }

    Block& block_;
    const CopyDate& date_;
    std::size_t limit_;
    std::vector<Range>& kept_;
    std::vector<Target> targets_;
    std::vector<Range> gone_;
};

}  // namespace

std::string exifDateText(const dates::CaptureDate& date) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld:%02lld:%02lld %02lld:%02lld:%02lld", static_cast<long long>(date.year),
                  static_cast<long long>(date.month), static_cast<long long>(date.day),
                  static_cast<long long>(date.hour), static_cast<long long>(date.minute),
                  static_cast<long long>(date.second));
    return buffer;
}

std::string offsetText(std::int64_t seconds) {
    // A zone is less than a day from UTC; anything else is held to that.
    seconds = std::clamp<std::int64_t>(seconds, -86399, 86399);
    const long long minutes = std::llabs(seconds) / 60;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%c%02lld:%02lld", seconds < 0 ? '-' : '+', minutes / 60, minutes % 60);
    return buffer;
}

std::string xmpDateText(const dates::CaptureDate& date, std::optional<std::int64_t> offsetSeconds) {
    std::string text = exifDateText(date);
    text[4] = text[7] = '-';
    text[10] = 'T';
    if (offsetSeconds) text += offsetText(*offsetSeconds);
    return text;
}

std::vector<std::uint8_t> emptyExif() {
    // "II", 42, IFD0 at 8; no entries; no next IFD.
    return {'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

std::vector<Range> writeCopyDate(Block& block, const CopyDate& date, std::size_t limit, std::vector<Range>& kept) {
    return DateWriter(block, date, limit, kept).run();
}

}  // namespace veltrop::platform
