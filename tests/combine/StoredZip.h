// ZIP archives of stored (uncompressed) entries built in memory, for the tests that need the
// bytes of a real archive to split into parts.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>

namespace stored_zip {

inline uint32_t Crc32(const std::string &data)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void Put16(std::string &out, uint32_t value)
{
    out += (char)(value & 0xFF);
    out += (char)((value >> 8) & 0xFF);
}

inline void Put32(std::string &out, uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

}  // namespace stored_zip

// One entry named "data.bin" holding data, with its central directory and end record.
inline std::string MakeStoredZip(const std::string &data)
{
    using namespace stored_zip;
    const std::string name = "data.bin";
    uint32_t crc = Crc32(data);
    uint32_t size = (uint32_t)data.size();
    std::string archive;
    Put32(archive, 0x04034b50);
    Put16(archive, 20);      // version needed
    Put16(archive, 0);       // flags
    Put16(archive, 0);       // stored
    Put16(archive, 0);       // time
    Put16(archive, 0x21);    // date: 1 January 1980
    Put32(archive, crc);
    Put32(archive, size);
    Put32(archive, size);
    Put16(archive, (uint32_t)name.size());
    Put16(archive, 0);
    archive += name + data;

    uint32_t directoryOffset = (uint32_t)archive.size();
    Put32(archive, 0x02014b50);
    Put16(archive, 20);      // made by
    Put16(archive, 20);      // needed
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, 0x21);
    Put32(archive, crc);
    Put32(archive, size);
    Put32(archive, size);
    Put16(archive, (uint32_t)name.size());
    Put16(archive, 0);       // extra
    Put16(archive, 0);       // comment
    Put16(archive, 0);       // disk
    Put16(archive, 0);       // internal attributes
    Put32(archive, 0);       // external attributes
    Put32(archive, 0);       // local header offset
    archive += name;
    uint32_t directorySize = (uint32_t)archive.size() - directoryOffset;

    Put32(archive, 0x06054b50);
    Put16(archive, 0);
    Put16(archive, 0);
    Put16(archive, 1);
    Put16(archive, 1);
    Put32(archive, directorySize);
    Put32(archive, directoryOffset);
    Put16(archive, 0);
    return archive;
}

// Bytes an archive of MakeStoredZip adds to its data.
const size_t kStoredZipOverhead = 114;

// An archive of exactly size bytes (at least kStoredZipOverhead) whose data follows from seed.
inline std::string MakeStoredZipOfSize(size_t size, unsigned seed)
{
    std::string data(size - kStoredZipOverhead, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (char &byte : data) {
        state = state * 1103515245u + 12345u;
        byte = (char)(state >> 16);
    }
    return MakeStoredZip(data);
}
