#include "ListingPrefetch.h"

#include <algorithm>
#include <utility>

// Listings made and not yet taken, at most: enough to stay ahead, few enough that a folder
// with a great many subfolders does not hold them all at once.
static const size_t kReadyLimit = 64;

// Two listings at a time; more did not help.
static const int kHelpers = 2;

ListingPrefetch::ListingPrefetch()
{
    InitializeCriticalSection(&lock_);
    InitializeConditionVariable(&changed_);
}

ListingPrefetch::~ListingPrefetch()
{
    EnterCriticalSection(&lock_);
    stopping_ = true;
    WakeAllConditionVariable(&changed_);
    LeaveCriticalSection(&lock_);
    for (HANDLE thread : threads_) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    DeleteCriticalSection(&lock_);
}

bool ListingPrefetch::Start()
{
    for (int i = 0; i < kHelpers; ++i) {
        HANDLE thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        if (thread != nullptr)
            threads_.push_back(thread);
    }
    return !threads_.empty();
}

DWORD WINAPI ListingPrefetch::Run(LPVOID self)
{
    static_cast<ListingPrefetch *>(self)->ListAhead();
    return 0;
}

void ListingPrefetch::ListAhead()
{
    EnterCriticalSection(&lock_);
    for (;;) {
        while (!stopping_ && (queue_.empty() || ready_.size() >= kReadyLimit))
            SleepConditionVariableCS(&changed_, &lock_, INFINITE);
        if (stopping_)
            break;
        std::wstring folder = std::move(queue_.front());
        queue_.pop_front();
        listing_.push_back(folder);
        LeaveCriticalSection(&lock_);
        Ready ready;
        ready.listedAt = GetTickCount64();
        bool listed = ready.listing.List(folder.c_str());
        EnterCriticalSection(&lock_);
        if (listed)
            ready_[folder] = std::move(ready);
        listing_.erase(std::find(listing_.begin(), listing_.end(), folder));
        WakeAllConditionVariable(&changed_);
    }
    LeaveCriticalSection(&lock_);
}

void ListingPrefetch::Ask(std::vector<std::wstring> &&folders)
{
    if (threads_.empty() || folders.empty())
        return;
    EnterCriticalSection(&lock_);
    queue_.insert(queue_.begin(), std::make_move_iterator(folders.begin()), std::make_move_iterator(folders.end()));
    WakeAllConditionVariable(&changed_);
    LeaveCriticalSection(&lock_);
}

bool ListingPrefetch::Take(const std::wstring &folder, FolderListing *listing, ULONGLONG maxAgeMs)
{
    if (threads_.empty())
        return false;
    EnterCriticalSection(&lock_);
    while (std::find(listing_.begin(), listing_.end(), folder) != listing_.end())
        SleepConditionVariableCS(&changed_, &lock_, INFINITE);
    auto found = ready_.find(folder);
    bool taken = found != ready_.end() && GetTickCount64() - found->second.listedAt <= maxAgeMs;
    if (found != ready_.end()) {
        if (taken)
            *listing = std::move(found->second.listing);
        ready_.erase(found);
        WakeAllConditionVariable(&changed_);
    } else {
        auto queued = std::find(queue_.begin(), queue_.end(), folder);
        if (queued != queue_.end())
            queue_.erase(queued);
    }
    LeaveCriticalSection(&lock_);
    return taken;
}
