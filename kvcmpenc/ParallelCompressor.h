// The entries of one archive, read in list order in blocks and compressed (and encrypted) on a
// pool of threads ahead of the ZIP library, which takes the finished data entry by entry in
// the same order from its thread while it writes the archive. Memory stays bounded: at most a
// fixed number of blocks are read and not yet taken.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BlockDeflater.h"
#include "EntryCipher.h"
#include "InputSource.h"

struct CompressorLimits {
    size_t blockSize = 1 << 20;   // bytes of a file per block
    int threads = 0;              // 0: one per processor
};

// Why the data of an entry could not be had.
struct CompressorFailure {
    int zipError = 0;              // a ZIP_ER_ code
    unsigned long systemError = 0;
    int failedFile = -1;           // InputFile::index of a file that could not be opened or read
};

class ParallelCompressor {
public:
    // An empty password writes the entries unencrypted. The cancel byte is polled between blocks.
    ParallelCompressor(const std::string &password, volatile char *cancelFlag, CompressorLimits limits = {});
    // Stops the threads and waits for them.
    ~ParallelCompressor();
    ParallelCompressor(const ParallelCompressor &) = delete;
    ParallelCompressor &operator=(const ParallelCompressor &) = delete;

    // Entries are compressed in the order they are added; all are added before Start.
    void AddEntry(const InputFile &file);
    int EntryCount() const { return (int)entries_.size(); }
    bool IsEncrypted() const { return !password_.empty(); }

    // Allocates the blocks and starts the threads; fails only for lack of memory.
    bool Start();

    // For the ZIP library's thread, entry after entry in order: up to length bytes of entry's
    // archive data (the AES header, the compressed data and the AES code). Returns the bytes
    // given, 0 once the entry is complete, or -1 with failure set. Taking a block adds its
    // file bytes to progress.
    int64_t ReadEntry(int entry, uint8_t *data, size_t length, ReadProgress *progress, CompressorFailure *failure);
    // Once ReadEntry has returned 0: the entry's CRC-32 and size as read.
    uint32_t EntryCrc() const { return stream_.crc; }
    uint64_t EntrySize() const { return stream_.size; }

    int ThreadCount() const { return (int)threads_.size(); }

private:
    struct Block {
        uint64_t sequence = 0;
        bool ready = false;           // compressed and waiting to be taken
        int entry = -1;
        bool first = false, last = false;
        size_t dictionaryLength = 0;
        size_t dataLength = 0;
        std::vector<uint8_t> input;   // the dictionary area, then the data
        std::vector<uint8_t> output;
        size_t outputLength = 0;
        uint32_t crc = 0;
        std::unique_ptr<EntryCipher> cipher;   // keyed when first is set
    };

    // The entry being taken by the ZIP library.
    struct EntryStream {
        int entry = -1;
        bool ended = true;
        Block *block = nullptr;
        size_t blockOffset = 0;
        size_t blocksTaken = 0;
        bool lastTaken = false;
        uint8_t header[AesHeaderLength];
        size_t headerLeft = 0;
        uint8_t mac[AesMacLength];
        size_t macOffset = AesMacLength;
        uint32_t crc = 0;
        uint64_t size = 0;
        std::unique_ptr<EntryCipher> cipher;
    };

    void Work(BlockDeflater *deflater);
    Block *ReadNextBlock();
    bool FillBlock(Block *block);
    void Fail(const CompressorFailure &failure);
    bool IsCancelSet() const { return cancelFlag_ && *cancelFlag_ == 1; }

    Block *WaitForBlock(CompressorFailure *failure);
    bool TakeBlock(Block *block, ReadProgress *progress, CompressorFailure *failure);
    void ReleaseBlock();
    bool BeginEntry(int entry, CompressorFailure *failure);

    std::string password_;
    volatile char *cancelFlag_;
    CompressorLimits limits_;
    size_t blockSize_ = 0;
    std::vector<InputFile> entries_;
    std::vector<std::unique_ptr<BlockDeflater>> deflaters_;
    std::vector<std::thread> threads_;

    // Guarded by stateMutex_.
    std::mutex stateMutex_;
    std::condition_variable blockFree_;    // for the reader
    std::condition_variable blockReady_;   // for the ZIP library's thread
    std::vector<Block> blocks_;
    uint64_t produced_ = 0;   // blocks handed out for reading
    uint64_t consumed_ = 0;   // blocks taken and given back
    bool readAll_ = false;
    bool stopping_ = false;
    CompressorFailure failure_;

    // The reading position, guarded by readMutex_: one block is read at a time, in order.
    std::mutex readMutex_;
    int readEntry_ = 0;
    bool readStarted_ = false;
    HANDLE readHandle_ = INVALID_HANDLE_VALUE;
    std::vector<uint8_t> window_;   // the entry's last bytes read, the next block's dictionary
    size_t windowLength_ = 0;

    EntryStream stream_;   // only the ZIP library's thread touches it
};
