#include "ReadAhead.h"

#include <string.h>
#include <algorithm>
#include <new>
#include <utility>

#include "ExclusiveLock.h"

namespace {

const size_t MostRunFiles = 64;
const size_t MostRunBytes = 1 << 20;

}  // namespace

bool TakenFile::Read(uint8_t *data, size_t length, size_t *got)
{
    *got = 0;
    if (given_ < length_) {
        *got = std::min(length, length_ - given_);
        memcpy(data, data_ + given_, *got);
        given_ += *got;
        return true;
    }
    if (readError_ != ERROR_SUCCESS) {
        SetLastError(readError_);
        return false;
    }
    if (handle_ == INVALID_HANDLE_VALUE)
        return true;
    DWORD read = 0;
    bool ok = ReadFile(handle_, data, (DWORD)std::min<size_t>(length, MAXDWORD), &read, nullptr);
    *got = read;
    return ok;
}

void TakenFile::Close()
{
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    data_ = nullptr;
    length_ = given_ = 0;
    readError_ = ERROR_SUCCESS;
}

ReadAhead::RunFile *ReadAhead::Run::ReadAheadFile(size_t index)
{
    if (!Holds(index) || index - first >= files.size() || !files[index - first].readAhead)
        return nullptr;
    return &files[index - first];
}

void ReadAhead::Run::CloseHandles()
{
    for (RunFile &file : files) {
        if (file.handle != INVALID_HANDLE_VALUE)
            CloseHandle(file.handle);
        file.handle = INVALID_HANDLE_VALUE;
    }
}

ReadAhead::ReadAhead(const std::vector<InputFile> &files, size_t largest) : files_(files), largest_(largest)
{
}

ReadAhead::~ReadAhead()
{
    Stop();
    for (std::thread &thread : threads_)
        thread.join();
    for (size_t i = 0; i < slotCount_; i++)
        slots_[i].CloseHandles();
    taken_.CloseHandles();
}

void ReadAhead::Start(int threads, int priority)
{
    priority_ = priority;
    try {
        // Room for a run in each thread's hands and one more each, so no thread waits while the
        // reader works through the run before.
        size_t count = (size_t)std::max(threads, 0) * 2;
        slots_.reset(new Run[count]);
        slotCount_ = count;
        for (int i = 0; i < threads; i++)
            threads_.emplace_back(&ReadAhead::ReadRuns, this);
    } catch (const std::exception &) {
        // Fewer threads read ahead; with none the reader opens every file itself.
    }
}

void ReadAhead::Stop()
{
    {
        ExclusiveLock hold(&lock_);
        stopping_ = true;
    }
    WakeAllConditionVariable(&slotFree_);
    WakeAllConditionVariable(&runReady_);
}

void ReadAhead::ReadRuns()
{
    SetThreadPriority(GetCurrentThread(), priority_);
    for (;;) {
        Run *run;
        {
            ExclusiveLock hold(&lock_);
            while (!stopping_ && nextFile_ < files_.size() && nextRun_ >= runsTaken_ + slotCount_) {
                threadsWaiting_++;
                SleepConditionVariableSRW(&slotFree_, &lock_, INFINITE, 0);
                threadsWaiting_--;
            }
            if (stopping_ || nextFile_ >= files_.size())
                return;
            run = &slots_[nextRun_++ % slotCount_];
            run->first = nextFile_;
            run->count = 1;
            uint64_t bytes = files_[nextFile_].size;
            bool small = bytes <= largest_;
            while (small && run->count < MostRunFiles && nextFile_ + run->count < files_.size()) {
                uint64_t size = files_[nextFile_ + run->count].size;
                if (size > largest_ || bytes + size > MostRunBytes)
                    break;
                bytes += size;
                run->count++;
            }
            nextFile_ += run->count;
        }
        // The run is this thread's until it is ready: the reader looks at it only then.
        ReadRun(run);
        bool wake;
        {
            ExclusiveLock hold(&lock_);
            run->ready = true;
            wake = readerWaiting_;
        }
        if (wake)
            WakeAllConditionVariable(&runReady_);
    }
}

void ReadAhead::ReadRun(Run *run)
{
    run->data.clear();
    run->files.clear();
    if (files_[run->first].size > largest_)
        return;
    HANDLE handle = INVALID_HANDLE_VALUE;
    try {
        run->files.resize(run->count);
        for (size_t i = 0; i < run->count; i++) {
            const InputFile &input = files_[run->first + i];
            RunFile &file = run->files[i];
            file.readAhead = true;
            file.offset = run->data.size();
            handle = OpenInputFile(input.path);
            if (handle == INVALID_HANDLE_VALUE) {
                file.openError = GetLastError();
                continue;
            }
            // A byte more than listed, so a file as listed is read whole by one ReadFile and its
            // end seen by the next, as any reader sees it.
            size_t room = (size_t)std::min<uint64_t>(input.size + 1, largest_);
            for (;;) {
                if (file.length == room) {
                    if (room >= largest_) {
                        file.handle = handle;   // it has grown: the reader reads on from here
                        break;
                    }
                    room = std::min(room * 2, largest_);
                }
                run->data.resize(file.offset + room);
                DWORD read = 0;
                if (!ReadFile(handle, &run->data[file.offset + file.length], (DWORD)(room - file.length), &read,
                              nullptr)) {
                    file.readError = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_READ_FAULT;
                    CloseHandle(handle);
                    break;
                }
                if (read == 0) {
                    CloseHandle(handle);
                    break;
                }
                file.length += read;
            }
            handle = INVALID_HANDLE_VALUE;
            run->data.resize(file.offset + file.length);
            if (file.handle != INVALID_HANDLE_VALUE)
                break;   // it stays open: the reader opens the rest of the run itself
        }
    } catch (const std::bad_alloc &) {
        // The reader opens these files itself.
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
        run->CloseHandles();
        run->files.clear();
    }
}

bool ReadAhead::TakeRun()
{
    taken_.CloseHandles();   // of files the reader never took
    bool wake;
    {
        ExclusiveLock hold(&lock_);
        Run &slot = slots_[runsTaken_ % slotCount_];
        while (!stopping_ && !slot.ready) {
            readerWaiting_ = true;
            SleepConditionVariableSRW(&runReady_, &lock_, INFINITE, 0);
            readerWaiting_ = false;
        }
        if (stopping_)
            return false;
        // The reader's spent run goes to the slot, whose next run reuses its room.
        std::swap(taken_, slot);
        slot.ready = false;
        runsTaken_++;
        wake = threadsWaiting_ > 0;
    }
    if (wake)
        WakeConditionVariable(&slotFree_);
    return true;
}

bool ReadAhead::Take(size_t index, TakenFile *file, DWORD *openError)
{
    file->Close();
    *openError = ERROR_SUCCESS;
    if (!taken_.Holds(index) && !threads_.empty() && !TakeRun())
        return false;
    if (RunFile *taken = taken_.ReadAheadFile(index)) {
        *openError = taken->openError;
        file->data_ = taken_.data.data() + taken->offset;
        file->length_ = taken->length;
        file->readError_ = taken->readError;
        std::swap(file->handle_, taken->handle);
        return true;
    }
    file->handle_ = OpenInputFile(files_[index].path);
    if (file->handle_ == INVALID_HANDLE_VALUE)
        *openError = GetLastError();
    return true;
}
