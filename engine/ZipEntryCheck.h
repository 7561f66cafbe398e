// Whether one entry of a ZIP archive is what its central directory entry says: a local header
// where the directory places it, with the same name, method and sizes, and data whose CRC-32
// and size match, for every entry that can be read without a password.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "ZipWholeness.h"

// One central directory entry, Zip64 values already taken from its extra field.
struct ZipDirectoryEntry {
    uint16_t flags;
    uint16_t method;
    uint32_t crc;
    uint64_t compressedSize;
    uint64_t size;
    uint64_t localOffset;
    const uint8_t *name;  // nameLength bytes, not terminated
    uint16_t nameLength;
};

// Room CheckZipEntry needs in its scratch buffer.
const size_t kZipEntryScratchSize = 30 + 65535 + 2 * 131072;

// ZipWhole, ZipUnreadable, or ZipEntryDamaged with *damage filled. dataEnd is where the
// entries' records must end: the start of the central directory.
ZipWholeness CheckZipEntry(ZipByteSource &source, const ZipDirectoryEntry &entry, uint64_t dataEnd,
                           uint8_t *scratch, ZipDamage *damage);
