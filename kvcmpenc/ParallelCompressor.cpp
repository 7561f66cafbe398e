#include "ParallelCompressor.h"

#include <string.h>
#include <algorithm>
#include <chrono>
#include <new>
#include <system_error>
#include <utility>
#include <zip.h>
#include <zlib.h>

namespace {

const int MostThreads = 16;
const size_t SmallestBlock = 64 * 1024;
// How long the ZIP library's thread waits for a block before it looks at the cancel byte again.
const std::chrono::milliseconds CancelPoll(20);

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

ParallelCompressor::ParallelCompressor(const std::string &password, volatile char *cancelFlag,
                                       CompressorLimits limits)
    : password_(password), cancelFlag_(cancelFlag), limits_(limits)
{
}

ParallelCompressor::~ParallelCompressor()
{
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        stopping_ = true;
    }
    blockFree_.notify_all();
    blockReady_.notify_all();
    for (std::thread &thread : threads_)
        thread.join();
    if (readHandle_ != INVALID_HANDLE_VALUE)
        CloseHandle(readHandle_);
    if (!password_.empty())
        SecureZeroMemory(&password_[0], password_.size());
}

void ParallelCompressor::AddEntry(const InputFile &file)
{
    entries_.push_back(file);
}

bool ParallelCompressor::Start()
{
    // A small archive gets small blocks and no more threads than it has blocks; a file that
    // has grown since it was listed only takes more blocks.
    uint64_t largest = 0, blocksListed = 0;
    size_t blockSize = std::max(limits_.blockSize, (size_t)1);
    for (const InputFile &file : entries_) {
        largest = std::max(largest, file.size);
        blocksListed += file.size / blockSize + 1;
    }
    blockSize_ = (size_t)std::min<uint64_t>(blockSize, std::max<uint64_t>(largest, SmallestBlock));
    int threads = limits_.threads > 0 ? limits_.threads : std::min(CountProcessors(), MostThreads);
    threads = (int)std::max<uint64_t>(1, std::min<uint64_t>((uint64_t)threads, blocksListed));
    size_t blockCount = (size_t)std::min<uint64_t>((uint64_t)threads * 2 + 2, blocksListed + 1);
    try {
        window_.resize(DeflateWindowSize);
        blocks_.resize(blockCount);
        for (Block &block : blocks_) {
            block.input.resize(DeflateWindowSize + blockSize_);
            block.output.resize(BlockDeflater::OutputBound(blockSize_));
            if (IsEncrypted()) {
                block.cipher.reset(new EntryCipher);
                if (!block.cipher->Init())
                    return false;
            }
        }
        if (IsEncrypted()) {
            stream_.cipher.reset(new EntryCipher);
            if (!stream_.cipher->Init())
                return false;
        }
        for (int i = 0; i < threads; i++) {
            deflaters_.emplace_back(new BlockDeflater);
            if (!deflaters_.back()->Init())
                return false;
        }
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (entries_.empty()) {
        readAll_ = true;
        return true;
    }
    for (int i = 0; i < threads; i++) {
        try {
            threads_.emplace_back(&ParallelCompressor::Work, this, deflaters_[(size_t)i].get());
        } catch (const std::system_error &) {
            break;   // fewer threads do the same work
        }
    }
    return !threads_.empty();
}

void ParallelCompressor::Fail(const CompressorFailure &failure)
{
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        if (failure_.zipError == 0)
            failure_ = failure;
    }
    blockFree_.notify_all();
    blockReady_.notify_all();
}

void ParallelCompressor::Work(BlockDeflater *deflater)
{
    // Nothing here throws; were it to, the host program must not end for it.
    try {
        while (Block *block = ReadNextBlock()) {
            const uint8_t *data = block->input.data() + DeflateWindowSize;
            bool keyed = !block->first || !IsEncrypted() || block->cipher->Start(password_);
            bool packed = keyed && deflater->Deflate(data - block->dictionaryLength, block->dictionaryLength, data,
                                                     block->dataLength, block->last, block->output.data(),
                                                     block->output.size(), &block->outputLength);
            block->crc = (uint32_t)crc32(0, data, (uInt)block->dataLength);
            if (!packed) {
                Fail(MakeFailure(ZIP_ER_INTERNAL));
                return;
            }
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                block->ready = true;
            }
            blockReady_.notify_all();
        }
    } catch (...) {
        Fail(MakeFailure(ZIP_ER_INTERNAL));
    }
}

ParallelCompressor::Block *ParallelCompressor::ReadNextBlock()
{
    std::lock_guard<std::mutex> reading(readMutex_);
    Block *block = nullptr;
    {
        std::unique_lock<std::mutex> lock(stateMutex_);
        blockFree_.wait(lock, [this] {
            return stopping_ || failure_.zipError != 0 || readAll_ || produced_ < consumed_ + blocks_.size();
        });
        if (stopping_ || failure_.zipError != 0 || readAll_)
            return nullptr;
        block = &blocks_[(size_t)(produced_ % blocks_.size())];
        block->sequence = produced_++;
        block->ready = false;
    }
    if (IsCancelSet()) {
        Fail(MakeFailure(ZIP_ER_CANCELLED));
        return nullptr;
    }
    return FillBlock(block) ? block : nullptr;
}

// Reads the next block of the entry being read, behind the last 32 KB read of that entry.
bool ParallelCompressor::FillBlock(Block *block)
{
    const InputFile &file = entries_[(size_t)readEntry_];
    bool first = readHandle_ == INVALID_HANDLE_VALUE;
    if (first) {
        // Files still open for writing by other programs are read too (the -ssw switch).
        readHandle_ = CreateFileW(file.path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (readHandle_ == INVALID_HANDLE_VALUE) {
            Fail(MakeFailure(ZIP_ER_OPEN, GetLastError(), file.index));
            return false;
        }
        windowLength_ = 0;
    }
    block->entry = readEntry_;
    block->first = first;
    uint8_t *data = block->input.data() + DeflateWindowSize;
    memcpy(data - windowLength_, window_.data(), windowLength_);
    block->dictionaryLength = windowLength_;

    // The entry ends where the file ends now, whatever its size was when it was listed.
    size_t got = 0;
    bool end = false;
    while (got < blockSize_) {
        DWORD read = 0;
        if (!ReadFile(readHandle_, data + got, (DWORD)(blockSize_ - got), &read, nullptr)) {
            Fail(MakeFailure(ZIP_ER_READ, GetLastError(), file.index));
            return false;
        }
        if (read == 0) {
            end = true;
            break;
        }
        got += read;
    }
    block->dataLength = got;
    block->last = end;
    size_t kept = std::min(DeflateWindowSize, windowLength_ + got);
    memcpy(window_.data(), data + got - kept, kept);
    windowLength_ = kept;
    if (end) {
        CloseHandle(readHandle_);
        readHandle_ = INVALID_HANDLE_VALUE;
        if (++readEntry_ == (int)entries_.size()) {
            {
                std::lock_guard<std::mutex> lock(stateMutex_);
                readAll_ = true;
            }
            blockFree_.notify_all();
        }
    }
    return true;
}

ParallelCompressor::Block *ParallelCompressor::WaitForBlock(CompressorFailure *failure)
{
    std::unique_lock<std::mutex> lock(stateMutex_);
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
        if (block->ready && block->sequence == consumed_)
            return block;
        if (readAll_ && produced_ == consumed_) {
            *failure = MakeFailure(ZIP_ER_INTERNAL);   // asked for more than the files hold
            return nullptr;
        }
        blockReady_.wait_for(lock, CancelPoll);
    }
}

bool ParallelCompressor::BeginEntry(int entry, CompressorFailure *failure)
{
    if (!stream_.ended || entry != stream_.entry + 1 || entry >= EntryCount()) {
        *failure = MakeFailure(ZIP_ER_INTERNAL);   // the library reads entries in the order they were added
        return false;
    }
    stream_.entry = entry;
    stream_.ended = false;
    stream_.block = nullptr;
    stream_.blocksTaken = 0;
    stream_.lastTaken = false;
    stream_.headerLeft = 0;
    stream_.macOffset = AesMacLength;
    stream_.crc = 0;
    stream_.size = 0;
    return true;
}

bool ParallelCompressor::TakeBlock(Block *block, ReadProgress *progress, CompressorFailure *failure)
{
    if (block->entry != stream_.entry || block->first != (stream_.blocksTaken == 0)) {
        *failure = MakeFailure(ZIP_ER_INTERNAL);
        return false;
    }
    if (IsEncrypted()) {
        if (block->first) {
            // The block's keyed cipher becomes the entry's; the spare one goes back with the block.
            std::swap(block->cipher, stream_.cipher);
            memcpy(stream_.header, stream_.cipher->Header(), AesHeaderLength);
            stream_.headerLeft = AesHeaderLength;
        }
        if ((block->first && !stream_.cipher->Begin()) || !stream_.cipher->Encrypt(block->output.data(), block->outputLength) ||
            (block->last && !stream_.cipher->Finish(stream_.mac))) {
            *failure = MakeFailure(ZIP_ER_INTERNAL);
            return false;
        }
    }
    stream_.crc = (uint32_t)crc32_combine(stream_.crc, block->crc, (z_off_t)block->dataLength);
    stream_.size += block->dataLength;
    stream_.blocksTaken++;
    stream_.block = block;
    stream_.blockOffset = 0;
    progress->bytesDone += block->dataLength;
    if (progress->progress)
        *progress->progress = ComputeProgressPercent(progress->bytesDone, progress->bytesTotal);
    return true;
}

void ParallelCompressor::ReleaseBlock()
{
    stream_.lastTaken = stream_.block->last;
    if (stream_.lastTaken && IsEncrypted())
        stream_.macOffset = 0;
    {
        std::lock_guard<std::mutex> lock(stateMutex_);
        stream_.block->ready = false;
        consumed_++;
    }
    blockFree_.notify_all();
    stream_.block = nullptr;
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
        } else if (stream_.block) {
            size_t n = std::min(room, stream_.block->outputLength - stream_.blockOffset);
            memcpy(data + done, stream_.block->output.data() + stream_.blockOffset, n);
            stream_.blockOffset += n;
            done += n;
            if (stream_.blockOffset == stream_.block->outputLength)
                ReleaseBlock();
        } else if (stream_.lastTaken) {
            size_t n = std::min(room, AesMacLength - stream_.macOffset);
            memcpy(data + done, stream_.mac + stream_.macOffset, n);
            stream_.macOffset += n;
            done += n;
            stream_.ended = stream_.macOffset == AesMacLength;
        } else {
            Block *block = WaitForBlock(failure);
            if (!block || !TakeBlock(block, progress, failure))
                return -1;
        }
    }
    return (int64_t)done;
}
