// The entries of one archive, read in list order by one thread into blocks (small files read
// ahead of it by two more, ReadAhead.h), compressed on a pool of threads and, with a password,
// encrypted in order by one more thread, all ahead of the ZIP library, which takes the finished
// data entry by entry in the same order from its thread while it writes the archive. A block
// holds a stretch of a large file, or several small files whole, each as a piece of its own.
// Memory stays bounded: at most a fixed number of blocks are read and not yet taken. The threads
// meet on a slim reader/writer lock and condition variables, which wait without a trip to the
// kernel's object manager (under Wine, without one to its server).
#pragma once
#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "BlockDeflater.h"
#include "EntryCipher.h"
#include "InputSource.h"
#include "ReadAhead.h"

// Bytes that are always written before they are read, so they are not cleared when allocated:
// clearing the blocks of an archive would touch tens of megabytes before the first file is read.
class ByteBuffer {
public:
    void Allocate(size_t length)
    {
        bytes_.reset(new uint8_t[length]);
        length_ = length;
    }
    uint8_t *data() { return bytes_.get(); }
    size_t size() const { return length_; }

private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t length_ = 0;
};

struct CompressorLimits {
    size_t blockSize = 1 << 20;   // bytes of files per block
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
    ParallelCompressor(const SecretText &password, volatile char *cancelFlag, CompressorLimits limits = {});
    // Stops the threads and waits for them.
    ~ParallelCompressor();
    ParallelCompressor(const ParallelCompressor &) = delete;
    ParallelCompressor &operator=(const ParallelCompressor &) = delete;

    // Entries are compressed in the order they are added; all are added before Start.
    void AddEntry(const InputFile &file);
    int EntryCount() const { return (int)entries_.size(); }
    bool IsEncrypted() const { return !password_.IsEmpty(); }

    // Allocates the blocks and starts the threads; fails only for lack of memory.
    bool Start();

    // For the ZIP library's thread, entry after entry in order: up to length bytes of entry's
    // archive data (the AES header, the compressed data and the AES code). Returns the bytes
    // given, 0 once the entry is complete, or -1 with failure set. Taking a piece adds its
    // file bytes to progress.
    int64_t ReadEntry(int entry, uint8_t *data, size_t length, ReadProgress *progress, CompressorFailure *failure);
    // Once ReadEntry has returned 0: the entry's CRC-32 and size as read.
    uint32_t EntryCrc() const { return stream_.crc; }
    uint64_t EntrySize() const { return stream_.size; }

private:
    // One entry's share of a block: a small file whole, or a stretch of a large one.
    struct Piece {
        int entry = -1;
        bool first = false, last = false;
        size_t dataOffset = 0;         // in the block's input
        size_t dataLength = 0;
        size_t dictionaryLength = 0;   // the entry's bytes just before the data, in the input too
        size_t outputOffset = 0;       // in the block's output
        size_t outputLength = 0;
        uint32_t crc = 0;
        EntryKeys keys;                // derived for a first piece when the entries are encrypted
        uint8_t mac[AesMacLength] = {};   // the entry's code, after its last piece is encrypted
    };

    struct Block {
        uint64_t sequence = 0;
        bool ready = false;            // compressed
        bool sealed = false;           // compressed and encrypted (unencrypted: as ready)
        ByteBuffer input;              // room for a dictionary, then the pieces' data
        ByteBuffer output;
        std::vector<Piece> pieces;
        size_t pieceCount = 0;
    };

    // Where the ZIP library's thread is: the entry it takes and the piece it gives out.
    struct EntryStream {
        int entry = -1;
        bool ended = true;
        Block *block = nullptr;
        size_t nextPiece = 0;          // in block
        const Piece *piece = nullptr;  // being given out
        size_t pieceOffset = 0;
        size_t piecesTaken = 0;        // of this entry
        bool lastTaken = false;
        uint8_t header[AesHeaderLength] = {};
        size_t headerLeft = 0;
        uint8_t mac[AesMacLength] = {};
        size_t macOffset = AesMacLength;
        uint32_t crc = 0;
        uint64_t size = 0;
    };

    void ReadFiles();
    Block *TakeFreeBlock();
    bool FillBlock(Block *block);
    bool OpenNextFile();
    void Work(BlockDeflater *deflater);
    Block *ClaimFilledBlock();
    bool CompressBlock(BlockDeflater *deflater, Block *block);
    void Seal();
    Block *ClaimCompressedBlock();
    bool SealBlock(Block *block);
    void Fail(const CompressorFailure &failure);
    bool IsCancelSet() const { return IsCancelByteSet(cancelFlag_); }

    bool BeginEntry(int entry, CompressorFailure *failure);
    bool TakeNextPiece(ReadProgress *progress, CompressorFailure *failure);
    Block *WaitForBlock(CompressorFailure *failure);
    void ReleaseBlock();

    SecretText password_;
    volatile char *cancelFlag_;
    CompressorLimits limits_;
    int priority_ = THREAD_PRIORITY_NORMAL;   // the calling thread's, which the threads take
    size_t blockSize_ = 0;
    std::vector<InputFile> entries_;
    std::unique_ptr<ReadAhead> readAhead_;   // for the reader
    std::vector<std::unique_ptr<BlockDeflater>> deflaters_;
    std::thread reader_;
    std::vector<std::thread> workers_;
    std::unique_ptr<EntryCipher> cipher_;   // the sealer's own
    std::thread sealer_;

    // Guarded by lock_. Block n of the archive lies in blocks_[n % size]: the reader fills it
    // once the library has given back block n - size, a worker claims it once it is filled.
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE blockFree_ = CONDITION_VARIABLE_INIT;     // the reader waits for room
    CONDITION_VARIABLE blockFilled_ = CONDITION_VARIABLE_INIT;   // workers wait for data
    CONDITION_VARIABLE blockCompressed_ = CONDITION_VARIABLE_INIT;   // the sealer waits
    CONDITION_VARIABLE blockReady_ = CONDITION_VARIABLE_INIT;    // the ZIP library's thread waits
    std::vector<Block> blocks_;
    uint64_t filled_ = 0;     // blocks read
    uint64_t claimed_ = 0;    // blocks taken by workers
    uint64_t sealed_ = 0;     // blocks encrypted, in order
    uint64_t consumed_ = 0;   // blocks taken by the library and given back
    bool readAll_ = false;
    bool stopping_ = false;
    CompressorFailure failure_;

    // The reader's own.
    int readEntry_ = 0;
    bool fileOpen_ = false;   // readFile_ holds entry readEntry_, which goes on in the next block
    TakenFile readFile_;
    std::vector<uint8_t> window_;   // the open entry's last bytes read, the next block's dictionary
    size_t windowLength_ = 0;

    EntryStream stream_;   // only the ZIP library's thread touches it
};
