#include "FlushBehind.h"

#include <system_error>

FlushBehind::~FlushBehind()
{
    AcquireSRWLockExclusive(&lock_);
    stopping_ = true;
    ReleaseSRWLockExclusive(&lock_);
    WakeAllConditionVariable(&changed_);
    if (thread_.joinable())
        thread_.join();
    for (size_t i = 0; i < pendingCount_; i++)
        CloseHandle(pending_[i]);
}

void FlushBehind::Request(HANDLE file)
{
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread(&FlushBehind::Run, this);
        } catch (const std::system_error &) {
            return;
        }
    }
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return;
    AcquireSRWLockExclusive(&lock_);
    bool queued = pendingCount_ < MostPending;
    if (queued)
        pending_[pendingCount_++] = copy;
    ReleaseSRWLockExclusive(&lock_);
    if (queued)
        WakeAllConditionVariable(&changed_);
    else
        CloseHandle(copy);
}

DWORD FlushBehind::Wait()
{
    AcquireSRWLockExclusive(&lock_);
    while (busy_ || pendingCount_ > 0)
        SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
    DWORD error = error_;
    ReleaseSRWLockExclusive(&lock_);
    return error;
}

void FlushBehind::Run()
{
    AcquireSRWLockExclusive(&lock_);
    for (;;) {
        while (!stopping_ && pendingCount_ == 0)
            SleepConditionVariableSRW(&changed_, &lock_, INFINITE, 0);
        if (pendingCount_ == 0)
            break;
        HANDLE file = pending_[0];
        for (size_t i = 1; i < pendingCount_; i++)
            pending_[i - 1] = pending_[i];
        pendingCount_--;
        busy_ = true;
        ReleaseSRWLockExclusive(&lock_);
        DWORD error = FlushFileBuffers(file) ? 0 : GetLastError();
        CloseHandle(file);
        AcquireSRWLockExclusive(&lock_);
        busy_ = false;
        if (error != 0 && error_ == 0)
            error_ = error;
        WakeAllConditionVariable(&changed_);
    }
    ReleaseSRWLockExclusive(&lock_);
}
