// Raw Deflate of one block of an entry, so the blocks of a large entry can be compressed on
// several threads and joined: every block but the last ends on a byte boundary (a sync flush),
// the last one ends the stream, and each block may start with the 32 KB that came before it as
// its dictionary, so matches reach back across the join as in one stream.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <zlib.h>

// The window Deflate can look back into.
const size_t DeflateWindowSize = 32768;
// zlib's normal level, which every entry is compressed at.
const int NormalDeflateLevel = 6;

class BlockDeflater {
public:
    BlockDeflater() = default;
    ~BlockDeflater();
    BlockDeflater(const BlockDeflater &) = delete;
    BlockDeflater &operator=(const BlockDeflater &) = delete;

    // Allocates the compressors; fails only for lack of memory.
    bool Init();

    // Bytes that Deflate may need for a block of length bytes, flush marks included.
    static size_t OutputBound(size_t length);

    // Compresses data into output (of at least OutputBound(length) bytes). Data that the
    // probe finds incompressible goes into stored blocks instead: still Deflate, but no time
    // is spent searching random bytes for matches.
    bool Deflate(const uint8_t *dictionary, size_t dictionaryLength, const uint8_t *data, size_t length, bool last,
                 uint8_t *output, size_t capacity, size_t *written);

    // Whether Deflate would store data rather than compress it: true when no sample of it
    // shrinks by 1% at the fastest level. Short blocks are always compressed.
    bool LooksIncompressible(const uint8_t *data, size_t length);

    static const size_t ProbeSampleSize = 16384;

private:
    z_stream stream_ = {};
    z_stream probe_ = {};
    bool streamReady_ = false;
    bool probeReady_ = false;
    int level_ = -1;
    uint8_t probeSink_[ProbeSampleSize + 256];   // what the probe writes; only its length counts
};
