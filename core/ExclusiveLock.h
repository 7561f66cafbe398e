// Holds a slim reader/writer lock exclusively for a scope. Slim locks and condition variables
// wait without a kernel object, which under Wine means without a trip to its server.
#pragma once
#include <windows.h>

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK *lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(lock_); }
    ExclusiveLock(const ExclusiveLock &) = delete;
    ExclusiveLock &operator=(const ExclusiveLock &) = delete;

private:
    SRWLOCK *lock_;
};
