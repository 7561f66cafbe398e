#include "ZipEntryCheck.h"

#include <windows.h>
#include <string.h>
#include <zlib.h>

#include "ZipBytes.h"

namespace {

const uint32_t kLocalHeaderSize = 30;
const uint16_t kEncryptedFlag = 0x0001;
const uint16_t kDataDescriptorFlag = 0x0008;
const uint16_t kUtf8NameFlag = 0x0800;
const uint16_t kStored = 0;
const uint16_t kDeflated = 8;
const uint32_t kChunk = 131072;

// The entry's name for a message: ANSI text with control characters as '?', cut short.
void DescribeName(const ZipDirectoryEntry &entry, char *out, size_t outSize)
{
    wchar_t wide[sizeof(ZipDamage::name)];
    UINT codePage = (entry.flags & kUtf8NameFlag) != 0 ? CP_UTF8 : CP_OEMCP;
    const int shown = (int)sizeof(ZipDamage::name) - 4;  // room for "..." and the terminator
    int taken = entry.nameLength < shown ? entry.nameLength : shown;
    int length = MultiByteToWideChar(codePage, 0, reinterpret_cast<const char *>(entry.name), taken, wide,
                                     (int)(sizeof(wide) / sizeof(wide[0])) - 1);
    wide[length > 0 ? length : 0] = L'\0';
    for (wchar_t *c = wide; *c != L'\0'; ++c)
        if (*c < L' ')
            *c = L'?';
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide, -1, out, (int)outSize - 4, "?", nullptr);
    if (bytes <= 0)
        out[0] = '\0';
    if (taken < entry.nameLength)
        strcat(out, "...");
}

ZipWholeness Damaged(const ZipDirectoryEntry &entry, ZipDamageKind kind, ZipDamage *damage)
{
    damage->kind = kind;
    damage->offset = entry.localOffset;
    DescribeName(entry, damage->name, sizeof(damage->name));
    return ZipEntryDamaged;
}

// The sizes the local header gives, its Zip64 extra field read when they stand at their largest.
bool ReadLocalSizes(const uint8_t *header, const uint8_t *extra, uint32_t extraLength, uint64_t *compressed,
                    uint64_t *size)
{
    *compressed = GetZip32(header + 18);
    *size = GetZip32(header + 22);
    if (*compressed != 0xFFFFFFFF && *size != 0xFFFFFFFF)
        return true;
    for (uint32_t at = 0; at + 4 <= extraLength;) {
        uint32_t length = GetZip16(extra + at + 2);
        if (at + 4 + length > extraLength)
            return false;
        if (GetZip16(extra + at) == kZip64ExtraTag && length >= 16) {
            *size = GetZip64(extra + at + 4);
            *compressed = GetZip64(extra + at + 12);
            return true;
        }
        at += 4 + length;
    }
    return false;
}

// A writer that streams sets the data-descriptor flag and may leave the local CRC and sizes 0.
bool SameValue(uint64_t local, uint64_t directory, bool mayBeZero)
{
    return local == directory || (mayBeZero && local == 0);
}

// Reads the local header and its name and extra field into scratch; the data's offset.
ZipWholeness CompareLocalHeader(ZipByteSource &source, const ZipDirectoryEntry &entry, uint64_t dataEnd,
                                uint8_t *scratch, ZipDamage *damage, uint64_t *dataOffset)
{
    if (entry.localOffset > dataEnd || dataEnd - entry.localOffset < kLocalHeaderSize)
        return Damaged(entry, ZipNoLocalHeader, damage);
    if (!source.ReadAt(entry.localOffset, scratch, kLocalHeaderSize))
        return ZipUnreadable;
    if (GetZip32(scratch) != kZipLocalSignature)
        return Damaged(entry, ZipNoLocalHeader, damage);
    uint32_t nameLength = GetZip16(scratch + 26);
    uint32_t extraLength = GetZip16(scratch + 28);
    uint64_t start = entry.localOffset + kLocalHeaderSize;
    if (nameLength != entry.nameLength || dataEnd - start < (uint64_t)nameLength + extraLength)
        return Damaged(entry, ZipHeaderMismatch, damage);
    uint8_t *name = scratch + kLocalHeaderSize;
    if (nameLength + extraLength > 0 && !source.ReadAt(start, name, nameLength + extraLength))
        return ZipUnreadable;
    bool streamed = (GetZip16(scratch + 6) & kDataDescriptorFlag) != 0;
    uint64_t compressed = 0, size = 0;
    if (memcmp(name, entry.name, nameLength) != 0 || GetZip16(scratch + 8) != entry.method ||
        !ReadLocalSizes(scratch, name + nameLength, extraLength, &compressed, &size) ||
        !SameValue(GetZip32(scratch + 14), entry.crc, streamed) ||
        !SameValue(compressed, entry.compressedSize, streamed) || !SameValue(size, entry.size, streamed))
        return Damaged(entry, ZipHeaderMismatch, damage);
    *dataOffset = start + nameLength + extraLength;
    if (dataEnd - *dataOffset < entry.compressedSize)
        return Damaged(entry, ZipHeaderMismatch, damage);
    return ZipWhole;
}

// The CRC-32 and size of stored data.
bool ReadStored(ZipByteSource &source, uint64_t offset, uint64_t length, uint8_t *input, uLong *crc,
                uint64_t *produced)
{
    while (length > 0) {
        uint32_t chunk = (uint32_t)(length < kChunk ? length : kChunk);
        if (!source.ReadAt(offset, input, chunk))
            return false;
        *crc = crc32(*crc, input, chunk);
        *produced += chunk;
        offset += chunk;
        length -= chunk;
    }
    return true;
}

// The CRC-32 and size of deflated data once inflated, up to a little beyond limit; ZipEntryDamaged
// when it does not inflate within its compressed size.
ZipWholeness Inflate(ZipByteSource &source, uint64_t offset, uint64_t length, uint64_t limit, uint8_t *input,
                     uint8_t *output, uLong *crc, uint64_t *produced)
{
    z_stream stream = {};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return ZipUnreadable;
    ZipWholeness verdict = ZipEntryDamaged;
    for (;;) {
        if (stream.avail_in == 0 && length > 0) {
            uint32_t chunk = (uint32_t)(length < kChunk ? length : kChunk);
            if (!source.ReadAt(offset, input, chunk)) {
                verdict = ZipUnreadable;
                break;
            }
            stream.next_in = input;
            stream.avail_in = chunk;
            offset += chunk;
            length -= chunk;
        }
        stream.next_out = output;
        stream.avail_out = kChunk;
        int status = inflate(&stream, Z_NO_FLUSH);
        uint32_t made = kChunk - stream.avail_out;
        *crc = crc32(*crc, output, made);
        *produced += made;
        // Damaged data can inflate to far more than the entry's size: no need to see it all.
        if (status == Z_STREAM_END || *produced > limit) {
            verdict = ZipWhole;
            break;
        }
        // No progress without input means the data ends before its stream does.
        if (status != Z_OK && !(status == Z_BUF_ERROR && stream.avail_in == 0 && length > 0))
            break;
    }
    inflateEnd(&stream);
    return verdict;
}

// Reads the entry's data and compares its CRC-32 and size with the directory's.
ZipWholeness CompareData(ZipByteSource &source, const ZipDirectoryEntry &entry, uint64_t offset, uint8_t *input,
                         uint8_t *output, ZipDamage *damage)
{
    uLong crc = crc32(0L, Z_NULL, 0);
    uint64_t produced = 0;
    if (entry.method == kStored) {
        if (!ReadStored(source, offset, entry.compressedSize, input, &crc, &produced))
            return ZipUnreadable;
    } else {
        ZipWholeness inflated = Inflate(source, offset, entry.compressedSize, entry.size, input, output, &crc,
                                        &produced);
        if (inflated == ZipEntryDamaged)
            return Damaged(entry, ZipDataUndecodable, damage);
        if (inflated != ZipWhole)
            return inflated;
    }
    if (crc != entry.crc || produced != entry.size)
        return Damaged(entry, ZipChecksumMismatch, damage);
    return ZipWhole;
}

}  // namespace

ZipWholeness CheckZipEntry(ZipByteSource &source, const ZipDirectoryEntry &entry, uint64_t dataEnd,
                           uint8_t *scratch, ZipDamage *damage)
{
    uint64_t dataOffset = 0;
    ZipWholeness verdict = CompareLocalHeader(source, entry, dataEnd, scratch, damage, &dataOffset);
    if (verdict != ZipWhole)
        return verdict;
    // Encrypted data, and methods other than stored and Deflate, cannot be read here.
    if ((entry.flags & kEncryptedFlag) != 0 || (entry.method != kStored && entry.method != kDeflated))
        return ZipWhole;
    uint8_t *input = scratch + kLocalHeaderSize + 65535;
    return CompareData(source, entry, dataOffset, input, input + kChunk, damage);
}
