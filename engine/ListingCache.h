// Folder listings kept from one pass of a job for the passes after it, so that a folder is
// listed once per run rather than once per pass: the size count lists the source folders for
// the mirror walk, and the mirror walk hands its listings of both sides to the deleted-items
// pass. A budget bounds what is kept; a folder whose listing was not kept is listed again.
#pragma once
#include <windows.h>

#include <string>
#include <unordered_map>

#include "FolderListing.h"
#include "JobContext.h"

class ListingCache {
public:
    // About a million names; a larger tree lists the rest of its folders again in each pass.
    static const size_t kDefaultBudgetBytes = 64u << 20;
    explicit ListingCache(size_t budgetBytes = kDefaultBudgetBytes) : budget_(budgetBytes) {}
    // Keeps the listing of folder (its path as the passes build it, ending in "\\").
    // folderWrite is the folder's last-write time from before it was listed.
    void Keep(const wchar_t *folder, FolderListing &&listing, const FILETIME &folderWrite);
    // Takes the listing of folder out of the cache; false when none was kept.
    bool Take(const wchar_t *folder, FolderListing *listing);
    // Takes a listing made earlier in the run only when the folder has not changed since: its
    // last-write time is the same, and the volume keeps folder times (setReliableFolderTimes).
    bool TakeUnchanged(const wchar_t *folder, FolderListing *listing);
    // Whether the volume of the source being walked updates a folder's last-write time when a
    // name in it is added, removed or renamed (NTFS does; FAT does not).
    void SetReliableFolderTimes(bool reliable) { reliableTimes_ = reliable; }
    void Clear();

private:
    struct Kept {
        FolderListing listing;
        FILETIME folderWrite;
    };
    bool TakeKept(const wchar_t *folder, Kept *kept);
    std::unordered_map<std::wstring, Kept> kept_;
    size_t budget_;
    size_t bytes_ = 0;
    bool reliableTimes_ = false;
};

// The job's cache, made before the size count; NULL when memory ran out (every pass then lists
// for itself).
ListingCache *GetListingCache(JobContext *context);
void ReleaseListingCache(JobContext *context);
