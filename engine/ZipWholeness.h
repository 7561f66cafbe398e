// Whether a run of bytes is a whole ZIP archive on one disk: the end record at the very end
// (with the Zip64 end record and locator when there is one), disk numbers that say the archive
// lies in one file, a central directory that ends right where the end records begin and holds
// the count of entries they give, and for each of its entries a local header that matches it
// and data whose CRC-32 matches, where the data can be read without a password.
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
    ZipEntryDamaged,   // an entry's local header or data does not match its directory entry
};

enum ZipDamageKind {
    ZipNoLocalHeader,       // no local header where the directory places the entry
    ZipHeaderMismatch,      // its name, method or sizes differ from the directory's
    ZipChecksumMismatch,    // its data does not give the CRC-32 or the size the directory gives
    ZipDataUndecodable,     // its compressed data cannot be decompressed
};

// The first damaged entry found.
struct ZipDamage {
    ZipDamageKind kind;
    uint64_t offset;     // where its local header should lie
    char name[128];      // its name as ANSI text, cut short when longer
};

// Room the check needs in its scratch buffer.
const size_t kZipCheckScratchSize = 65536 + 64 + 30 + 65535 + 2 * 131072;

// damage is filled when the result is ZipEntryDamaged.
ZipWholeness CheckZipWholeness(ZipByteSource &source, uint64_t size, uint8_t *scratch, size_t scratchSize,
                               ZipDamage *damage);
