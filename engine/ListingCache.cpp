#include "ListingCache.h"

#include <new>
#include <utility>

#include "LongPath.h"

static size_t KeptBytes(const std::wstring &folder, const FolderListing &listing)
{
    return listing.Footprint() + (folder.size() + 1) * sizeof(wchar_t) + 64;
}

void ListingCache::Keep(const wchar_t *folder, FolderListing &&listing, const FILETIME &folderWrite)
{
    std::wstring key(folder);
    size_t bytes = KeptBytes(key, listing);
    if (bytes_ + bytes > budget_ || kept_.count(key) != 0)
        return;
    Kept &kept = kept_[key];
    kept.listing = std::move(listing);
    kept.folderWrite = folderWrite;
    bytes_ += bytes;
}

bool ListingCache::TakeKept(const wchar_t *folder, Kept *kept)
{
    auto found = kept_.find(folder);
    if (found == kept_.end())
        return false;
    bytes_ -= KeptBytes(found->first, found->second.listing);
    *kept = std::move(found->second);
    kept_.erase(found);
    return true;
}

bool ListingCache::Take(const wchar_t *folder, FolderListing *listing)
{
    Kept kept;
    if (!TakeKept(folder, &kept))
        return false;
    *listing = std::move(kept.listing);
    return true;
}

bool ListingCache::TakeUnchanged(const wchar_t *folder, FolderListing *listing)
{
    Kept kept;
    if (!TakeKept(folder, &kept) || !reliableTimes_)
        return false;
    WIN32_FILE_ATTRIBUTE_DATA now;
    if (!GetFileAttributesExLong(folder, &now) || CompareFileTime(&now.ftLastWriteTime, &kept.folderWrite) != 0)
        return false;
    *listing = std::move(kept.listing);
    return true;
}

void ListingCache::Clear()
{
    kept_.clear();
    bytes_ = 0;
}

ListingCache *GetListingCache(JobContext *context)
{
    if (context->listings == nullptr)
        context->listings = new (std::nothrow) ListingCache();
    return context->listings;
}

void ReleaseListingCache(JobContext *context)
{
    delete context->listings;
    context->listings = nullptr;
}
