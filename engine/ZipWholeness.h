// Whether a run of bytes is a whole ZIP archive on one disk, judged by its end: the end
// record at the very end (with the Zip64 end record and locator when there is one), disk
// numbers that say the archive lies in one file, and a central directory that ends right
// where the end records begin and holds the count of entries they give.
#pragma once
#include <stddef.h>
#include <stdint.h>

// The bytes under test, read at any offset.
class ZipByteSource {
public:
    virtual ~ZipByteSource() = default;
    // Reads exactly length bytes at offset; false when they cannot be read.
    virtual bool ReadAt(uint64_t offset, void *data, uint32_t length) = 0;
};

enum ZipWholeness {
    ZipWhole,
    ZipEndMissing,     // no end record closes the bytes: the archive goes on beyond them
    ZipBytesMissing,   // the end record places the central directory later than it lies
    ZipNotWhole,       // other disks, stray bytes or a damaged central directory
    ZipUnreadable,     // the source failed to read
};

// Room the check needs in its scratch buffer.
const size_t kZipCheckScratchSize = 65536 + 64;

ZipWholeness CheckZipWholeness(ZipByteSource &source, uint64_t size, uint8_t *scratch, size_t scratchSize);
