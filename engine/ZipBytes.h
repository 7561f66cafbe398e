// Little-endian fields of ZIP records, and the records' signatures.
#pragma once
#include <stdint.h>

inline uint16_t GetZip16(const uint8_t *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

inline uint32_t GetZip32(const uint8_t *p)
{
    return (uint32_t)GetZip16(p) | (uint32_t)GetZip16(p + 2) << 16;
}

inline uint64_t GetZip64(const uint8_t *p)
{
    return (uint64_t)GetZip32(p) | (uint64_t)GetZip32(p + 4) << 32;
}

const uint32_t kZipEndSignature = 0x06054b50;
const uint32_t kZip64EndSignature = 0x06064b50;
const uint32_t kZip64LocatorSignature = 0x07064b50;
const uint32_t kZipDirectorySignature = 0x02014b50;
const uint32_t kZipLocalSignature = 0x04034b50;
const uint16_t kZip64ExtraTag = 0x0001;
