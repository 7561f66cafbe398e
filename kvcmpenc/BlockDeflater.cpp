#include "BlockDeflater.h"

namespace {

const int StoredLevel = 0;
// zlib's default memory level: the ZIP library's own compressor took the largest, whose longer
// blocks came out a little larger on text.
const int MemoryLevel = 8;

// The probe: a few samples spread over the block, each compressed on its own at the fastest level.
const size_t ProbeSamples = 4;
const size_t ShortestProbedBlock = 8 * BlockDeflater::ProbeSampleSize;

bool InitRawDeflate(z_stream *stream, int level, int memoryLevel)
{
    return deflateInit2(stream, level, Z_DEFLATED, -MAX_WBITS, memoryLevel, Z_DEFAULT_STRATEGY) == Z_OK;
}

}  // namespace

BlockDeflater::~BlockDeflater()
{
    if (streamReady_)
        deflateEnd(&stream_);
    if (probeReady_)
        deflateEnd(&probe_);
}

bool BlockDeflater::Init()
{
    if (!streamReady_)
        streamReady_ = InitRawDeflate(&stream_, NormalDeflateLevel, MemoryLevel);
    level_ = NormalDeflateLevel;
    if (!probeReady_)
        probeReady_ = InitRawDeflate(&probe_, 1, 8);
    return streamReady_ && probeReady_;
}

size_t BlockDeflater::OutputBound(size_t length)
{
    // zlib's bound for these settings, plus room for the flush marks.
    return length + (length >> 3) + (length >> 6) + 64;
}

bool BlockDeflater::LooksIncompressible(const uint8_t *data, size_t length)
{
    if (length < ShortestProbedBlock)
        return false;
    for (size_t i = 0; i < ProbeSamples; i++) {
        size_t start = (length - ProbeSampleSize) * i / (ProbeSamples - 1);
        if (deflateReset(&probe_) != Z_OK)
            return false;
        probe_.next_in = const_cast<Bytef *>(data + start);
        probe_.avail_in = (uInt)ProbeSampleSize;
        probe_.next_out = probeSink_;
        probe_.avail_out = (uInt)sizeof probeSink_;
        if (deflate(&probe_, Z_FINISH) != Z_STREAM_END)
            return false;
        size_t produced = sizeof probeSink_ - probe_.avail_out;
        if (produced * 100 < ProbeSampleSize * 99)
            return false;
    }
    return true;
}

bool BlockDeflater::Deflate(const uint8_t *dictionary, size_t dictionaryLength, const uint8_t *data, size_t length,
                            bool last, uint8_t *output, size_t capacity, size_t *written)
{
    *written = 0;
    if (capacity < OutputBound(length) || deflateReset(&stream_) != Z_OK)
        return false;
    bool store = LooksIncompressible(data, length);
    int level = store ? StoredLevel : NormalDeflateLevel;
    if (level != level_) {
        if (deflateParams(&stream_, level, Z_DEFAULT_STRATEGY) != Z_OK)
            return false;
        level_ = level;
    }
    if (!store && dictionaryLength > 0 &&
        deflateSetDictionary(&stream_, dictionary, (uInt)dictionaryLength) != Z_OK)
        return false;
    stream_.next_in = const_cast<Bytef *>(data);
    stream_.avail_in = (uInt)length;
    stream_.next_out = output;
    stream_.avail_out = (uInt)capacity;
    int result = deflate(&stream_, last ? Z_FINISH : Z_SYNC_FLUSH);
    // Output left over would mean the bound was too small; it never is, but it must not pass.
    bool complete = last ? result == Z_STREAM_END
                         : result == Z_OK && stream_.avail_in == 0 && stream_.avail_out > 0;
    if (!complete)
        return false;
    *written = capacity - stream_.avail_out;
    return true;
}
