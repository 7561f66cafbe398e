#include "ZipWholeness.h"

namespace {

const uint32_t kEndSignature = 0x06054b50;
const uint32_t kZip64EndSignature = 0x06064b50;
const uint32_t kZip64LocatorSignature = 0x07064b50;
const uint32_t kDirectorySignature = 0x02014b50;
const uint32_t kLocalSignature = 0x04034b50;
const uint32_t kEndSize = 22;
const uint32_t kLocatorSize = 20;
const uint32_t kZip64EndSize = 56;  // without extensible data
const uint32_t kDirectoryEntrySize = 46;
const uint32_t kLongestComment = 65535;

uint16_t Get16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

uint32_t Get32(const uint8_t *p)
{
    return (uint32_t)Get16(p) | (uint32_t)Get16(p + 2) << 16;
}

uint64_t Get64(const uint8_t *p)
{
    return (uint64_t)Get32(p) | (uint64_t)Get32(p + 4) << 32;
}

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
        if (Get32(scratch + i) == kEndSignature && i + kEndSize + Get16(scratch + i + 20) == tail) {
            *offset = size - tail + i;
            return true;
        }
    }
    return false;
}

// Reads the Zip64 end record that the locator just before the end record points to.
ZipWholeness ReadZip64End(ZipByteSource &source, const uint8_t *locator, uint64_t locatorOffset, ArchiveEnd *end)
{
    uint32_t recordDisk = Get32(locator + 4);
    uint64_t recorded = Get64(locator + 8);
    end->diskCount = Get32(locator + 16);
    if (locatorOffset < kZip64EndSize)
        return ZipNotWhole;
    if (recorded > locatorOffset - kZip64EndSize)
        return ZipBytesMissing;
    uint8_t record[kZip64EndSize];
    if (!source.ReadAt(recorded, record, kZip64EndSize))
        return ZipUnreadable;
    if (Get32(record) != kZip64EndSignature) {
        // Not where it is said to be: bytes are missing before it when it lies, without
        // extensible data, right before the locator.
        uint64_t usual = locatorOffset - kZip64EndSize;
        if (!source.ReadAt(usual, record, kZip64EndSize))
            return ZipUnreadable;
        return Get32(record) == kZip64EndSignature && recorded > usual ? ZipBytesMissing : ZipNotWhole;
    }
    if (recorded + 12 + Get64(record + 4) != locatorOffset || recordDisk != 0)
        return ZipNotWhole;
    end->recordsStart = recorded;
    end->thisDisk = Get32(record + 16);
    end->directoryDisk = Get32(record + 20);
    end->entriesHere = Get64(record + 24);
    end->entries = Get64(record + 32);
    end->directorySize = Get64(record + 40);
    end->directoryOffset = Get64(record + 48);
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
        if (Get32(locator) == kZip64LocatorSignature)
            return ReadZip64End(source, locator, offset - kLocatorSize, end);
    }
    end->recordsStart = offset;
    end->thisDisk = Get16(record + 4);
    end->directoryDisk = Get16(record + 6);
    end->diskCount = 1;
    end->entriesHere = Get16(record + 8);
    end->entries = Get16(record + 10);
    end->directorySize = Get32(record + 12);
    end->directoryOffset = Get32(record + 16);
    // Fields at their largest value stand for a Zip64 end record, which is not there.
    if (end->thisDisk == 0xFFFF || end->entries == 0xFFFF || end->directorySize == 0xFFFFFFFF ||
        end->directoryOffset == 0xFFFFFFFF)
        return ZipNotWhole;
    return ZipWhole;
}

// Walks the central directory, which must end where the end records begin.
ZipWholeness WalkDirectory(ZipByteSource &source, const ArchiveEnd &end, uint8_t *scratch, size_t scratchSize)
{
    Cursor cursor(source, end.recordsStart, scratch, scratchSize);
    uint64_t position = end.directoryOffset;
    uint64_t count = 0;
    while (position < end.recordsStart) {
        const uint8_t *entry = cursor.At(position, kDirectoryEntrySize);
        if (entry == nullptr || Get32(entry) != kDirectorySignature)
            return cursor.failed ? ZipUnreadable : ZipNotWhole;
        position += kDirectoryEntrySize + Get16(entry + 28) + Get16(entry + 30) + Get16(entry + 32);
        ++count;
    }
    if (position != end.recordsStart || count != end.entries)
        return ZipNotWhole;
    if (count > 0) {
        uint8_t local[4];
        if (!source.ReadAt(0, local, sizeof local))
            return ZipUnreadable;
        if (Get32(local) != kLocalSignature)
            return ZipNotWhole;
    }
    return ZipWhole;
}

}  // namespace

ZipWholeness CheckZipWholeness(ZipByteSource &source, uint64_t size, uint8_t *scratch, size_t scratchSize)
{
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
    return WalkDirectory(source, end, scratch, scratchSize);
}
