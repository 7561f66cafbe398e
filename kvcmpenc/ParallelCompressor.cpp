#include "ParallelCompressor.h"

#include <string.h>
#include <algorithm>
#include <new>
#include <system_error>
#include <utility>
#include <zip.h>
#include <zlib.h>

#include "ExclusiveLock.h"

namespace {

const int MostThreads = 16;
const uint64_t BlocksPerThread = 4;
const uint64_t MostBlocks = 34;   // about 75 MB with blocks of 1 MB
const size_t SmallestBlock = 64 * 1024;
const size_t MostPieces = 256;     // small files in one block
const size_t PieceSlack = 64;      // what each piece's flush marks may add to the output
// Two keep the file system busy; more were slower under Wine, whose server takes one request at
// a time, and only add to the threads that wait for it.
const int MostReadAheadThreads = 2;
const size_t LargestReadAhead = 256 * 1024;
// How long the ZIP library's thread waits for a block before it looks at the cancel byte again.
const DWORD CancelPollMilliseconds = 20;

int CountProcessors()
{
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? (int)info.dwNumberOfProcessors : 1;
}

CompressorFailure MakeFailure(int zipError, unsigned long systemError = 0, int failedFile = -1)
{
    CompressorFailure failure;
    failure.zipError = zipError;
    failure.systemError = systemError;
    failure.failedFile = failedFile;
    return failure;
}

}  // namespace

ParallelCompressor::ParallelCompressor(const SecretText &password, volatile char *cancelFlag,
                                       CompressorLimits limits)
    : password_(password), cancelFlag_(cancelFlag), limits_(limits)
{
}

ParallelCompressor::~ParallelCompressor()
{
    {
        ExclusiveLock hold(&lock_);
        stopping_ = true;
    }
    WakeAllConditionVariable(&blockFree_);
    WakeAllConditionVariable(&blockFilled_);
    WakeAllConditionVariable(&blockCompressed_);
    if (readAhead_)
        readAhead_->Stop();
    if (reader_.joinable())
        reader_.join();
    for (std::thread &worker : workers_)
        worker.join();
    if (sealer_.joinable())
        sealer_.join();
    for (Block &block : blocks_)
        for (Piece &piece : block.pieces)
            ForgetEntryKeys(&piece.keys);
}

void ParallelCompressor::AddEntry(const InputFile &file)
{
    entries_.push_back(file);
}

bool ParallelCompressor::Start()
{
    // A small archive gets a small block and no more threads than it has blocks; a file that
    // has grown since it was listed only takes more blocks.
    uint64_t listed = 0;
    for (const InputFile &file : entries_)
        listed += file.size;
    size_t blockSize = std::max(limits_.blockSize, (size_t)1);
    blockSize_ = (size_t)std::min<uint64_t>(blockSize, std::max<uint64_t>(listed, SmallestBlock));
    size_t largestReadAhead = std::min(LargestReadAhead, blockSize_);
    uint64_t blocksListed = listed / blockSize_ + 1;
    int threads = limits_.threads > 0 ? limits_.threads : std::min(CountProcessors(), MostThreads);
    threads = (int)std::min<uint64_t>((uint64_t)threads, blocksListed);
    // Enough blocks that the workers find work while the library waits for a slow one.
    size_t blockCount = (size_t)std::min<uint64_t>({(uint64_t)threads * BlocksPerThread + 2, MostBlocks,
                                                    blocksListed + 1});
    try {
        window_.resize(DeflateWindowSize);
        blocks_.resize(blockCount);
        for (Block &block : blocks_) {
            block.input.Allocate(DeflateWindowSize + blockSize_);
            block.output.Allocate(BlockDeflater::OutputBound(blockSize_) + MostPieces * PieceSlack);
            block.pieces.resize(MostPieces);
        }
        if (IsEncrypted()) {
            cipher_.reset(new EntryCipher);
            if (!cipher_->Init())
                return false;
        }
        for (int i = 0; i < threads; i++) {
            std::unique_ptr<BlockDeflater> deflater(new BlockDeflater);
            if (!deflater->Init())
                return false;
            deflaters_.push_back(std::move(deflater));
        }
        readAhead_.reset(new ReadAhead(entries_, largestReadAhead));
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (entries_.empty()) {
        readAll_ = true;
        return true;
    }
    // The job's priority, which the user chose, is the compression's too.
    priority_ = GetThreadPriority(GetCurrentThread());
    try {
        for (int i = 0; i < threads; i++)
            workers_.emplace_back(&ParallelCompressor::Work, this, deflaters_[(size_t)i].get());
    } catch (const std::system_error &) {
        // Fewer workers do the same work.
    }
    if (workers_.empty())
        return false;
    // Files small enough to be read ahead are mostly waits for the file system.
    size_t smallFiles = (size_t)std::count_if(entries_.begin(), entries_.end(), [=](const InputFile &file) {
        return file.size <= largestReadAhead;
    });
    readAhead_->Start((int)std::min<size_t>({(size_t)threads, (size_t)MostReadAheadThreads, smallFiles}), priority_);
    try {
        // Encryption is in order within an entry; on a thread of its own it keeps pace with the
        // pool while the library's thread only writes.
        if (IsEncrypted())
            sealer_ = std::thread(&ParallelCompressor::Seal, this);
        reader_ = std::thread(&ParallelCompressor::ReadFiles, this);
    } catch (const std::system_error &) {
        return false;   // the destructor lets the others go
    }
    return true;
}

void ParallelCompressor::Fail(const CompressorFailure &failure)
{
    {
        ExclusiveLock hold(&lock_);
        if (failure_.zipError == 0)
            failure_ = failure;
    }
    WakeAllConditionVariable(&blockFree_);
    WakeAllConditionVariable(&blockFilled_);
    WakeAllConditionVariable(&blockCompressed_);
    WakeAllConditionVariable(&blockReady_);
}

void ParallelCompressor::ReadFiles()
{
    SetThreadPriority(GetCurrentThread(), priority_);
    // Nothing here throws; were it to, the host program must not end for it.
    try {
        while (Block *block = TakeFreeBlock()) {
            if (IsCancelSet()) {
                Fail(MakeFailure(ZIP_ER_CANCELLED));
                return;
            }
            if (!FillBlock(block))
                return;
            bool all = readEntry_ == (int)entries_.size();
            {
                ExclusiveLock hold(&lock_);
                filled_++;
                readAll_ = all;
            }
            if (all) {
                WakeAllConditionVariable(&blockFilled_);   // the workers with nothing left end
                return;
            }
            WakeConditionVariable(&blockFilled_);
        }
    } catch (...) {
        Fail(MakeFailure(ZIP_ER_INTERNAL));
    }
}

ParallelCompressor::Block *ParallelCompressor::TakeFreeBlock()
{
    ExclusiveLock hold(&lock_);
    while (!stopping_ && failure_.zipError == 0 && filled_ >= consumed_ + blocks_.size())
        SleepConditionVariableSRW(&blockFree_, &lock_, INFINITE, 0);
    if (stopping_ || failure_.zipError != 0)
        return nullptr;
    Block *block = &blocks_[(size_t)(filled_ % blocks_.size())];
    block->sequence = filled_;
    block->ready = false;
    block->sealed = false;
    return block;
}

bool ParallelCompressor::OpenNextFile()
{
    DWORD openError = ERROR_SUCCESS;
    if (!readAhead_->Take((size_t)readEntry_, &readFile_, &openError))
        return false;   // stopping
    if (openError != ERROR_SUCCESS) {
        Fail(MakeFailure(ZIP_ER_OPEN, openError, entries_[(size_t)readEntry_].index));
        return false;
    }
    fileOpen_ = true;
    windowLength_ = 0;
    return true;
}

// Fills a block in list order: first the rest of the open file, behind the last 32 KB read of
// it, then whole files as long as each is likely to fit. A large file starts a block of its own.
bool ParallelCompressor::FillBlock(Block *block)
{
    block->pieceCount = 0;
    size_t used = 0;
    while (block->pieceCount < MostPieces) {
        bool first = !fileOpen_;
        if (first) {
            if (readEntry_ == (int)entries_.size() ||
                (used > 0 && entries_[(size_t)readEntry_].size >= blockSize_ - used))
                break;
            if (!OpenNextFile())
                return false;
        }
        Piece &piece = block->pieces[block->pieceCount++];
        piece.entry = readEntry_;
        piece.first = first;
        piece.dataOffset = DeflateWindowSize + used;
        // Only a block's first piece can go on with a file, so its dictionary has the room.
        piece.dictionaryLength = windowLength_;
        uint8_t *data = block->input.data() + piece.dataOffset;
        memcpy(data - windowLength_, window_.data(), windowLength_);

        // The entry ends where the file ends now, whatever its size was when it was listed.
        size_t got = 0;
        bool end = false;
        while (used + got < blockSize_) {
            size_t read = 0;
            if (!readFile_.Read(data + got, blockSize_ - used - got, &read)) {
                Fail(MakeFailure(ZIP_ER_READ, GetLastError(), entries_[(size_t)readEntry_].index));
                return false;
            }
            if (read == 0) {
                end = true;
                break;
            }
            got += read;
        }
        piece.dataLength = got;
        piece.last = end;
        used += got;
        if (!end) {
            size_t kept = std::min(DeflateWindowSize, windowLength_ + got);
            memcpy(window_.data(), data + got - kept, kept);
            windowLength_ = kept;
            break;   // the block is full
        }
        readFile_.Close();
        fileOpen_ = false;
        readEntry_++;
    }
    return true;
}

void ParallelCompressor::Work(BlockDeflater *deflater)
{
    SetThreadPriority(GetCurrentThread(), priority_);
    try {
        while (Block *block = ClaimFilledBlock()) {
            if (!CompressBlock(deflater, block)) {
                Fail(MakeFailure(ZIP_ER_INTERNAL));
                return;
            }
            bool encrypted = IsEncrypted();
            {
                ExclusiveLock hold(&lock_);
                block->ready = true;
                block->sealed = !encrypted;
            }
            WakeConditionVariable(encrypted ? &blockCompressed_ : &blockReady_);
        }
    } catch (...) {
        Fail(MakeFailure(ZIP_ER_INTERNAL));
    }
}

ParallelCompressor::Block *ParallelCompressor::ClaimFilledBlock()
{
    ExclusiveLock hold(&lock_);
    while (!stopping_ && failure_.zipError == 0 && !readAll_ && claimed_ >= filled_)
        SleepConditionVariableSRW(&blockFilled_, &lock_, INFINITE, 0);
    if (stopping_ || failure_.zipError != 0 || claimed_ >= filled_)
        return nullptr;
    return &blocks_[(size_t)(claimed_++ % blocks_.size())];
}

void ParallelCompressor::Seal()
{
    SetThreadPriority(GetCurrentThread(), priority_);
    try {
        while (Block *block = ClaimCompressedBlock()) {
            if (!SealBlock(block)) {
                Fail(MakeFailure(ZIP_ER_INTERNAL));
                return;
            }
            {
                ExclusiveLock hold(&lock_);
                block->sealed = true;
                sealed_++;
            }
            WakeConditionVariable(&blockReady_);
        }
    } catch (...) {
        Fail(MakeFailure(ZIP_ER_INTERNAL));
    }
}

// The block after the last one sealed, once it is compressed; none once every block read is.
ParallelCompressor::Block *ParallelCompressor::ClaimCompressedBlock()
{
    ExclusiveLock hold(&lock_);
    for (;;) {
        if (stopping_ || failure_.zipError != 0 || (readAll_ && sealed_ >= filled_))
            return nullptr;
        Block *block = &blocks_[(size_t)(sealed_ % blocks_.size())];
        if (sealed_ < filled_ && block->sequence == sealed_ && block->ready)
            return block;
        SleepConditionVariableSRW(&blockCompressed_, &lock_, INFINITE, 0);
    }
}

// Encrypts the block's pieces in place, entry after entry as the archive holds them: a first
// piece starts its entry's cipher, a last one leaves the entry's code beside it.
bool ParallelCompressor::SealBlock(Block *block)
{
    for (size_t i = 0; i < block->pieceCount; i++) {
        Piece &piece = block->pieces[i];
        if (piece.first) {
            bool begun = cipher_->Begin(piece.keys);
            SecureZeroMemory(piece.keys.aesKey, sizeof piece.keys.aesKey);
            SecureZeroMemory(piece.keys.macKey, sizeof piece.keys.macKey);
            if (!begun)
                return false;
        }
        if (!cipher_->Encrypt(block->output.data() + piece.outputOffset, piece.outputLength) ||
            (piece.last && !cipher_->Finish(piece.mac)))
            return false;
    }
    return true;
}

bool ParallelCompressor::CompressBlock(BlockDeflater *deflater, Block *block)
{
    size_t written = 0;
    for (size_t i = 0; i < block->pieceCount; i++) {
        Piece &piece = block->pieces[i];
        const uint8_t *data = block->input.data() + piece.dataOffset;
        if (piece.first && IsEncrypted() && !DeriveEntryKeys(password_, &piece.keys))
            return false;
        piece.outputOffset = written;
        if (!deflater->Deflate(data - piece.dictionaryLength, piece.dictionaryLength, data, piece.dataLength,
                               piece.last, block->output.data() + written, block->output.size() - written,
                               &piece.outputLength))
            return false;
        written += piece.outputLength;
        piece.crc = (uint32_t)crc32(0, data, (uInt)piece.dataLength);
    }
    return true;
}

ParallelCompressor::Block *ParallelCompressor::WaitForBlock(CompressorFailure *failure)
{
    ExclusiveLock hold(&lock_);
    Block *block = &blocks_[(size_t)(consumed_ % blocks_.size())];
    for (;;) {
        if (IsCancelSet()) {
            *failure = MakeFailure(ZIP_ER_CANCELLED);
            return nullptr;
        }
        if (failure_.zipError != 0) {
            *failure = failure_;
            return nullptr;
        }
        if (block->sealed && block->sequence == consumed_)
            return block;
        if (readAll_ && filled_ == consumed_) {
            *failure = MakeFailure(ZIP_ER_INTERNAL);   // asked for more than the files hold
            return nullptr;
        }
        SleepConditionVariableSRW(&blockReady_, &lock_, CancelPollMilliseconds, 0);
    }
}

void ParallelCompressor::ReleaseBlock()
{
    {
        ExclusiveLock hold(&lock_);
        stream_.block->ready = false;
        stream_.block->sealed = false;
        consumed_++;
    }
    WakeConditionVariable(&blockFree_);
    stream_.block = nullptr;
}

bool ParallelCompressor::BeginEntry(int entry, CompressorFailure *failure)
{
    if (!stream_.ended || entry != stream_.entry + 1 || entry >= EntryCount()) {
        *failure = MakeFailure(ZIP_ER_INTERNAL);   // the library reads entries in the order they were added
        return false;
    }
    stream_.entry = entry;
    stream_.ended = false;
    stream_.piece = nullptr;
    stream_.piecesTaken = 0;
    stream_.lastTaken = false;
    stream_.headerLeft = 0;
    stream_.macOffset = AesMacLength;
    stream_.crc = 0;
    stream_.size = 0;
    return true;
}

// Moves on to the entry's next piece, in the block being taken or the next one.
bool ParallelCompressor::TakeNextPiece(ReadProgress *progress, CompressorFailure *failure)
{
    if (stream_.block && stream_.nextPiece == stream_.block->pieceCount)
        ReleaseBlock();
    if (!stream_.block) {
        stream_.block = WaitForBlock(failure);
        if (!stream_.block)
            return false;
        stream_.nextPiece = 0;
    }
    if (stream_.nextPiece == stream_.block->pieceCount) {
        *failure = MakeFailure(ZIP_ER_INTERNAL);   // a block always holds a piece
        return false;
    }
    Piece &piece = stream_.block->pieces[stream_.nextPiece++];
    if (piece.entry != stream_.entry || piece.first != (stream_.piecesTaken == 0)) {
        *failure = MakeFailure(ZIP_ER_INTERNAL);
        return false;
    }
    if (IsEncrypted()) {
        if (piece.first) {
            memcpy(stream_.header, piece.keys.header, AesHeaderLength);
            stream_.headerLeft = AesHeaderLength;
        }
        if (piece.last)
            memcpy(stream_.mac, piece.mac, AesMacLength);
    }
    stream_.crc = (uint32_t)crc32_combine(stream_.crc, piece.crc, (z_off_t)piece.dataLength);
    stream_.size += piece.dataLength;
    stream_.piecesTaken++;
    stream_.piece = &piece;
    stream_.pieceOffset = 0;
    progress->bytesDone += piece.dataLength;
    if (progress->progress)
        *progress->progress = ComputeProgressPercent(progress->bytesDone, progress->bytesTotal);
    return true;
}

int64_t ParallelCompressor::ReadEntry(int entry, uint8_t *data, size_t length, ReadProgress *progress,
                                      CompressorFailure *failure)
{
    if (entry != stream_.entry && !BeginEntry(entry, failure))
        return -1;
    size_t done = 0;
    while (done < length && !stream_.ended) {
        size_t room = length - done;
        if (stream_.headerLeft > 0) {
            size_t n = std::min(room, stream_.headerLeft);
            memcpy(data + done, stream_.header + AesHeaderLength - stream_.headerLeft, n);
            stream_.headerLeft -= n;
            done += n;
        } else if (stream_.piece) {
            const Piece &piece = *stream_.piece;
            size_t n = std::min(room, piece.outputLength - stream_.pieceOffset);
            memcpy(data + done, stream_.block->output.data() + piece.outputOffset + stream_.pieceOffset, n);
            stream_.pieceOffset += n;
            done += n;
            if (stream_.pieceOffset == piece.outputLength) {
                stream_.lastTaken = piece.last;
                if (piece.last && IsEncrypted())
                    stream_.macOffset = 0;
                stream_.piece = nullptr;
            }
        } else if (stream_.lastTaken) {
            size_t n = std::min(room, AesMacLength - stream_.macOffset);
            memcpy(data + done, stream_.mac + stream_.macOffset, n);
            stream_.macOffset += n;
            done += n;
            stream_.ended = stream_.macOffset == AesMacLength;
        } else if (!TakeNextPiece(progress, failure)) {
            return -1;
        }
    }
    return (int64_t)done;
}
