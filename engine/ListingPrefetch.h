// Lists folders on two helper threads ahead of the walk that needs them. A listing mostly
// waits (on the disk, on a share, and under Wine on its server), so two listings overlap, and
// the walk's own work overlaps with both. The walk names the folders it will enter,
// nearest first, and takes each listing when it gets there; a listing it would have to wait
// for the helper to start is made by the walk itself.
#pragma once
#include <windows.h>

#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "FolderListing.h"

class ListingPrefetch {
public:
    ListingPrefetch();
    // Stops the helper and waits for it.
    ~ListingPrefetch();
    ListingPrefetch(const ListingPrefetch &) = delete;
    ListingPrefetch &operator=(const ListingPrefetch &) = delete;
    // Starts the helpers; false when none can start (every Take then says no).
    bool Start();
    // Folders the walk will enter soon (each path ends in "\\"), in the order it will enter
    // them; listed before those named earlier, as the walk goes depth first.
    void Ask(std::vector<std::wstring> &&folders);
    // The helper's listing of folder, waiting while the helper is making it. false when the
    // folder was not asked for, could not be listed, was not started yet, or was listed more
    // than maxAgeMs ago: then it is no longer listed ahead and the caller lists it.
    bool Take(const std::wstring &folder, FolderListing *listing, ULONGLONG maxAgeMs = ~0ull);

private:
    static DWORD WINAPI Run(LPVOID self);
    void ListAhead();
    CRITICAL_SECTION lock_;
    CONDITION_VARIABLE changed_;
    std::deque<std::wstring> queue_;
    std::vector<std::wstring> listing_; // the folders being listed now
    struct Ready {
        FolderListing listing;
        ULONGLONG listedAt; // GetTickCount64 when the listing began
    };
    std::unordered_map<std::wstring, Ready> ready_;
    bool stopping_ = false;
    std::vector<HANDLE> threads_;
};
