#include "ZipWholeness.h"

#include "ZipBytes.h"
#include "ZipEntryCheck.h"

namespace {

const uint32_t kEndSize = 22;
const uint32_t kLocatorSize = 20;
const uint32_t kZip64EndSize = 56;  // without extensible data
const uint32_t kDirectoryEntrySize = 46;
const uint32_t kLongestComment = 65535;
// The central directory is read through a window of this size at the start of the scratch
// buffer; the entries are checked in the rest.
const size_t kDirectoryWindow = 65536 + 64;

// What the end records say about the archive.
struct ArchiveEnd {
    uint64_t recordsStart;  // where the end records begin, and so the central directory ends
    uint32_t thisDisk, directoryDisk, diskCount;
    uint64_t entriesHere, entries, directorySize, directoryOffset;
};

// Reads through a window of the scratch buffer, for the central directory's many small headers.
class Cursor {
public:
    Cursor(ZipByteSource &source, uint64_t end, uint8_t *buffer, size_t size)
        : source_(source), end_(end), buffer_(buffer), size_(size) {}
    // The n bytes at position (n at most the buffer's size), or null when they lie beyond
    // the end or cannot be read (then failed is set).
    const uint8_t *At(uint64_t position, uint32_t n)
    {
        if (position > end_ || n > end_ - position)
            return nullptr;
        if (position < start_ || position + n > start_ + length_) {
            uint64_t left = end_ - position;
            length_ = (uint32_t)(left < size_ ? left : size_);
            start_ = position;
            if (!source_.ReadAt(position, buffer_, length_)) {
                length_ = 0;
                failed = true;
                return nullptr;
            }
        }
        return buffer_ + (position - start_);
    }
    bool failed = false;

private:
    ZipByteSource &source_;
    uint64_t end_;
    uint8_t *buffer_;
    size_t size_;
    uint64_t start_ = 0;
    uint32_t length_ = 0;
};

// Finds the end record, which with its comment closes the bytes; its offset, or false.
bool FindEndRecord(ZipByteSource &source, uint64_t size, uint8_t *scratch, uint64_t *offset, bool *unreadable)
{
    if (size < kEndSize)
        return false;
    uint32_t tail = (uint32_t)(size < kEndSize + kLongestComment ? size : kEndSize + kLongestComment);
    if (!source.ReadAt(size - tail, scratch, tail)) {
        *unreadable = true;
        return false;
    }
    for (uint32_t i = tail - kEndSize + 1; i-- > 0;) {
        if (GetZip32(scratch + i) == kZipEndSignature && i + kEndSize + GetZip16(scratch + i + 20) == tail) {
            *offset = size - tail + i;
            return true;
        }
    }
    return false;
}

// Reads the Zip64 end record that the locator just before the end record points to.
ZipWholeness ReadZip64End(ZipByteSource &source, const uint8_t *locator, uint64_t locatorOffset, ArchiveEnd *end)
{
    uint32_t recordDisk = GetZip32(locator + 4);
    uint64_t recorded = GetZip64(locator + 8);
    end->diskCount = GetZip32(locator + 16);
    if (locatorOffset < kZip64EndSize)
        return ZipNotWhole;
    if (recorded > locatorOffset - kZip64EndSize)
        return ZipBytesMissing;
    uint8_t record[kZip64EndSize];
    if (!source.ReadAt(recorded, record, kZip64EndSize))
        return ZipUnreadable;
    if (GetZip32(record) != kZip64EndSignature) {
        // Not where it is said to be: bytes are missing before it when it lies, without
        // extensible data, right before the locator.
        uint64_t usual = locatorOffset - kZip64EndSize;
        if (!source.ReadAt(usual, record, kZip64EndSize))
            return ZipUnreadable;
        return GetZip32(record) == kZip64EndSignature && recorded > usual ? ZipBytesMissing : ZipNotWhole;
    }
    if (recorded + 12 + GetZip64(record + 4) != locatorOffset || recordDisk != 0)
        return ZipNotWhole;
    end->recordsStart = recorded;
    end->thisDisk = GetZip32(record + 16);
    end->directoryDisk = GetZip32(record + 20);
    end->entriesHere = GetZip64(record + 24);
    end->entries = GetZip64(record + 32);
    end->directorySize = GetZip64(record + 40);
    end->directoryOffset = GetZip64(record + 48);
    return ZipWhole;
}

ZipWholeness ReadArchiveEnd(ZipByteSource &source, uint64_t size, uint8_t *scratch, ArchiveEnd *end)
{
    uint64_t offset = 0;
    bool unreadable = false;
    if (!FindEndRecord(source, size, scratch, &offset, &unreadable))
        return unreadable ? ZipUnreadable : ZipEndMissing;
    uint8_t record[kEndSize];
    if (!source.ReadAt(offset, record, kEndSize))
        return ZipUnreadable;
    uint8_t locator[kLocatorSize];
    if (offset >= kLocatorSize) {
        if (!source.ReadAt(offset - kLocatorSize, locator, kLocatorSize))
            return ZipUnreadable;
        if (GetZip32(locator) == kZip64LocatorSignature)
            return ReadZip64End(source, locator, offset - kLocatorSize, end);
    }
    end->recordsStart = offset;
    end->thisDisk = GetZip16(record + 4);
    end->directoryDisk = GetZip16(record + 6);
    end->diskCount = 1;
    end->entriesHere = GetZip16(record + 8);
    end->entries = GetZip16(record + 10);
    end->directorySize = GetZip32(record + 12);
    end->directoryOffset = GetZip32(record + 16);
    // Fields at their largest value stand for a Zip64 end record, which is not there.
    if (end->thisDisk == 0xFFFF || end->entries == 0xFFFF || end->directorySize == 0xFFFFFFFF ||
        end->directoryOffset == 0xFFFFFFFF)
        return ZipNotWhole;
    return ZipWhole;
}

// Walks the central directory, which must end where the end records begin.
ZipWholeness WalkDirectory(ZipByteSource &source, const ArchiveEnd &end, uint8_t *scratch)
{
    Cursor cursor(source, end.recordsStart, scratch, kDirectoryWindow);
    uint64_t position = end.directoryOffset;
    uint64_t count = 0;
    while (position < end.recordsStart) {
        const uint8_t *entry = cursor.At(position, kDirectoryEntrySize);
        if (entry == nullptr || GetZip32(entry) != kZipDirectorySignature)
            return cursor.failed ? ZipUnreadable : ZipNotWhole;
        position += kDirectoryEntrySize + GetZip16(entry + 28) + GetZip16(entry + 30) + GetZip16(entry + 32);
        ++count;
    }
    if (position != end.recordsStart || count != end.entries)
        return ZipNotWhole;
    if (count > 0) {
        uint8_t local[4];
        if (!source.ReadAt(0, local, sizeof local))
            return ZipUnreadable;
        if (GetZip32(local) != kZipLocalSignature)
            return ZipNotWhole;
    }
    return ZipWhole;
}

// Takes the Zip64 values of a directory entry from its extra field: each field at its largest
// value is there, in this order.
bool ReadZip64Values(const uint8_t *extra, uint32_t length, ZipDirectoryEntry *entry)
{
    bool wantSize = entry->size == 0xFFFFFFFF;
    bool wantCompressed = entry->compressedSize == 0xFFFFFFFF;
    bool wantOffset = entry->localOffset == 0xFFFFFFFF;
    if (!wantSize && !wantCompressed && !wantOffset)
        return true;
    for (uint32_t at = 0; at + 4 <= length;) {
        uint16_t tag = GetZip16(extra + at);
        uint32_t size = GetZip16(extra + at + 2);
        if (at + 4 + size > length)
            return false;
        if (tag == kZip64ExtraTag) {
            const uint8_t *value = extra + at + 4;
            uint32_t needed = 8 * ((wantSize ? 1 : 0) + (wantCompressed ? 1 : 0) + (wantOffset ? 1 : 0));
            if (size < needed)
                return false;
            if (wantSize)
                entry->size = GetZip64(value), value += 8;
            if (wantCompressed)
                entry->compressedSize = GetZip64(value), value += 8;
            if (wantOffset)
                entry->localOffset = GetZip64(value);
            return true;
        }
        at += 4 + size;
    }
    return false;
}

// Checks every entry of the directory, already walked, against its local header and data.
ZipWholeness CheckEntries(ZipByteSource &source, const ArchiveEnd &end, uint8_t *scratch, ZipDamage *damage)
{
    Cursor cursor(source, end.recordsStart, scratch, kDirectoryWindow);
    for (uint64_t position = end.directoryOffset; position < end.recordsStart;) {
        const uint8_t *fixed = cursor.At(position, kDirectoryEntrySize);
        if (fixed == nullptr)
            return cursor.failed ? ZipUnreadable : ZipNotWhole;
        ZipDirectoryEntry entry = {};
        entry.flags = GetZip16(fixed + 8);
        entry.method = GetZip16(fixed + 10);
        entry.crc = GetZip32(fixed + 16);
        entry.compressedSize = GetZip32(fixed + 20);
        entry.size = GetZip32(fixed + 24);
        entry.nameLength = GetZip16(fixed + 28);
        uint16_t extraLength = GetZip16(fixed + 30);
        uint16_t commentLength = GetZip16(fixed + 32);
        entry.localOffset = GetZip32(fixed + 42);
        // The window may move with each read: the name is taken last.
        const uint8_t *extra = cursor.At(position + kDirectoryEntrySize + entry.nameLength, extraLength);
        if (extra == nullptr && extraLength > 0)
            return cursor.failed ? ZipUnreadable : ZipNotWhole;
        if (!ReadZip64Values(extra, extraLength, &entry))
            return ZipNotWhole;
        entry.name = cursor.At(position + kDirectoryEntrySize, entry.nameLength);
        if (entry.name == nullptr)
            return cursor.failed ? ZipUnreadable : ZipNotWhole;
        ZipWholeness verdict = CheckZipEntry(source, entry, end.directoryOffset, scratch + kDirectoryWindow, damage);
        if (verdict != ZipWhole)
            return verdict;
        position += kDirectoryEntrySize + entry.nameLength + extraLength + commentLength;
    }
    return ZipWhole;
}

}  // namespace

ZipWholeness CheckZipWholeness(ZipByteSource &source, uint64_t size, uint8_t *scratch, size_t scratchSize,
                               ZipDamage *damage)
{
    static_assert(kZipCheckScratchSize >= kDirectoryWindow + kZipEntryScratchSize, "scratch layout");
    if (scratchSize < kZipCheckScratchSize)
        return ZipUnreadable;
    ArchiveEnd end = {};
    ZipWholeness found = ReadArchiveEnd(source, size, scratch, &end);
    if (found != ZipWhole)
        return found;
    // One file holds the whole archive once the parts are joined.
    if (end.thisDisk != 0 || end.directoryDisk != 0 || end.diskCount > 1 || end.entriesHere != end.entries)
        return ZipNotWhole;
    if (end.directoryOffset > end.recordsStart || end.directorySize > end.recordsStart - end.directoryOffset)
        return ZipBytesMissing;
    if (end.directoryOffset + end.directorySize != end.recordsStart)
        return ZipNotWhole;
    found = WalkDirectory(source, end, scratch);
    if (found != ZipWhole)
        return found;
    return CheckEntries(source, end, scratch, damage);
}
