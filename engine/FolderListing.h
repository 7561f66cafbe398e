// The entries of one folder, listed once so that the passes over it look names up in memory.
// Asking the file system for a name that is not there costs a read of the whole folder under
// Wine (and a round trip on a share); a listing costs one search. Names compare as the file
// system compares them, ignoring case.
#pragma once
#include <windows.h>
#include <stdint.h>

#include <vector>

class FolderListing {
public:
    struct Entry {
        DWORD attributes;
        DWORD sizeHigh;
        DWORD sizeLow;
        FILETIME creation;
        FILETIME lastWrite;
        uint32_t nameOffset;
    };
    // Lists the folder (its path ends in "\\"), without "." and "..". false when the search
    // could not start; the last error is then the search's.
    bool List(const wchar_t *folder);
    // Lists the folder through a handle open with FILE_LIST_DIRECTORY; false when that failed
    // at once.
    bool ListOpen(HANDLE folder);
    // Adds an entry made after the listing, such as a copy the job has just written.
    void Add(const WIN32_FIND_DATAW &entry);
    // Puts entry in the place of the one of that name (as Find finds it) once the item was
    // replaced by one of the other kind or renamed; adds it when there was none.
    void Replace(const wchar_t *name, const WIN32_FIND_DATAW &entry);
    size_t Count() const { return entries_.size(); }
    const Entry &At(size_t index) const { return entries_[index]; }
    // Valid until the next Add.
    const wchar_t *NameOf(const Entry &entry) const { return names_.data() + entry.nameOffset; }
    // The entry of that name: one spelt the same first, else the first listed that differs only
    // in case, as a look-up would find it. NULL when there is none.
    const Entry *Find(const wchar_t *name) const;
    // The entry as a directory entry of a search, with the fields the listing keeps.
    void ToFindData(const Entry &entry, WIN32_FIND_DATAW *out) const;
    // Bytes held, for the budget of listings kept for later passes.
    size_t Footprint() const { return entries_.capacity() * sizeof(Entry) + names_.capacity() * sizeof(wchar_t); }

private:
    void Append(const WIN32_FIND_DATAW &entry);
    void AppendDirectoryInfo(const FILE_FULL_DIR_INFO &info);
    std::vector<Entry> entries_;
    std::vector<wchar_t> names_; // every name followed by its terminator
    mutable std::vector<uint32_t> byName_; // entry indexes in name order, made again after a change
    mutable bool sorted_ = true;
};
