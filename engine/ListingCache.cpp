#include "ListingCache.h"

#include <new>
#include <utility>

static size_t KeptBytes(const std::wstring &folder, const FolderListing &listing)
{
    return listing.Footprint() + (folder.size() + 1) * sizeof(wchar_t) + 64;
}

void ListingCache::Keep(const wchar_t *folder, FolderListing &&listing)
{
    std::wstring key(folder);
    size_t bytes = KeptBytes(key, listing);
    if (bytes_ + bytes > budget_ || kept_.count(key) != 0)
        return;
    kept_[key] = std::move(listing);
    bytes_ += bytes;
}

bool ListingCache::Take(const wchar_t *folder, FolderListing *listing)
{
    auto found = kept_.find(folder);
    if (found == kept_.end())
        return false;
    bytes_ -= KeptBytes(found->first, found->second);
    *listing = std::move(found->second);
    kept_.erase(found);
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
