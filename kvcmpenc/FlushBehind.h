// Flushes a file to disc on a thread of its own while the archive is still being written, so
// the flush that completes the archive has little left to write.
#pragma once
#include <windows.h>
#include <stddef.h>
#include <thread>

class FlushBehind {
public:
    FlushBehind() = default;
    // Waits for the flushes asked for.
    ~FlushBehind();
    FlushBehind(const FlushBehind &) = delete;
    FlushBehind &operator=(const FlushBehind &) = delete;

    // Flushes what has been written to file so far; the caller keeps its handle. A flush that
    // cannot be handed over (no thread, or several already waiting) is left to the final one.
    void Request(HANDLE file);
    // Waits until no flush is pending and no handle to the caller's files is held any more;
    // returns the Windows error of the first flush that failed, or 0.
    DWORD Wait();

private:
    void Run();

    static const size_t MostPending = 4;
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE changed_ = CONDITION_VARIABLE_INIT;
    HANDLE pending_[MostPending] = {};   // duplicates of the caller's handles, oldest first
    size_t pendingCount_ = 0;
    bool busy_ = false;
    bool stopping_ = false;
    DWORD error_ = 0;
    std::thread thread_;
};
