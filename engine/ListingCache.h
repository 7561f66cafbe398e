// Folder listings kept from the mirror walk for the deleted-items pass that follows it over the
// same folders, so that a folder is listed once by the two: the walk hands its listings of both
// sides to that pass. A budget bounds what is kept; a folder whose listing was not kept is
// listed again. (The size count's listings are not kept: a file edited in place after the count
// leaves its folder as it was, so only a listing made when the walk comes to the folder tells
// what the file is then.)
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
    void Keep(const wchar_t *folder, FolderListing &&listing);
    // Takes the listing of folder out of the cache; false when none was kept.
    bool Take(const wchar_t *folder, FolderListing *listing);
    void Clear();

private:
    std::unordered_map<std::wstring, FolderListing> kept_;
    size_t budget_;
    size_t bytes_ = 0;
};

// The job's cache, made before the mirror step; NULL when memory ran out (every pass then lists
// for itself).
ListingCache *GetListingCache(JobContext *context);
void ReleaseListingCache(JobContext *context);
