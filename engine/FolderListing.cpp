#include "FolderListing.h"

#include <string.h>
#include <wchar.h>

#include <algorithm>
#include <string>

#include "FolderHelpers.h"
#include "LongPath.h"

namespace {

// Ordinal comparison after upper-casing, as the file system matches names; a total order, so
// it can sort the names it tells equal.
int CompareNames(const wchar_t *a, const wchar_t *b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) - CSTR_EQUAL;
}

} // namespace

bool FolderListing::List(const wchar_t *folder)
{
    std::wstring pattern = std::wstring(folder) + L"*";
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileLong(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    do {
        if (!IsDotEntry(entry.cFileName))
            Append(entry);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return true;
}

void FolderListing::AppendDirectoryInfo(const FILE_FULL_DIR_INFO &info)
{
    WIN32_FIND_DATAW entry;
    size_t length = std::min<size_t>(info.FileNameLength / sizeof(wchar_t), MAX_PATH - 1);
    memcpy(entry.cFileName, info.FileName, length * sizeof(wchar_t));
    entry.cFileName[length] = L'\0';
    if (IsDotEntry(entry.cFileName))
        return;
    entry.dwFileAttributes = info.FileAttributes;
    entry.nFileSizeHigh = (DWORD)(info.EndOfFile.QuadPart >> 32);
    entry.nFileSizeLow = (DWORD)info.EndOfFile.QuadPart;
    entry.ftCreationTime.dwLowDateTime = info.CreationTime.LowPart;
    entry.ftCreationTime.dwHighDateTime = (DWORD)info.CreationTime.HighPart;
    entry.ftLastWriteTime.dwLowDateTime = info.LastWriteTime.LowPart;
    entry.ftLastWriteTime.dwHighDateTime = (DWORD)info.LastWriteTime.HighPart;
    Append(entry);
}

bool FolderListing::ListOpen(HANDLE folder)
{
    std::vector<char> buffer(64u << 10);
    FILE_INFO_BY_HANDLE_CLASS next = FileFullDirectoryRestartInfo;
    bool first = true;
    // Ends, as a search does, at the first call that gives nothing more.
    while (GetFileInformationByHandleEx(folder, next, buffer.data(), (DWORD)buffer.size())) {
        first = false;
        next = FileFullDirectoryInfo;
        for (size_t offset = 0;;) {
            const FILE_FULL_DIR_INFO &info = *reinterpret_cast<const FILE_FULL_DIR_INFO *>(buffer.data() + offset);
            AppendDirectoryInfo(info);
            if (info.NextEntryOffset == 0)
                break;
            offset += info.NextEntryOffset;
        }
    }
    return !first || GetLastError() == ERROR_NO_MORE_FILES;
}

void FolderListing::Append(const WIN32_FIND_DATAW &entry)
{
    Entry kept;
    kept.attributes = entry.dwFileAttributes;
    kept.sizeHigh = entry.nFileSizeHigh;
    kept.sizeLow = entry.nFileSizeLow;
    kept.creation = entry.ftCreationTime;
    kept.lastWrite = entry.ftLastWriteTime;
    kept.nameOffset = (uint32_t)names_.size();
    names_.insert(names_.end(), entry.cFileName, entry.cFileName + wcslen(entry.cFileName) + 1);
    entries_.push_back(kept);
    sorted_ = false;
}

void FolderListing::Add(const WIN32_FIND_DATAW &entry)
{
    Append(entry);
}

void FolderListing::Replace(const wchar_t *name, const WIN32_FIND_DATAW &entry)
{
    const Entry *found = Find(name);
    if (found != nullptr)
        entries_.erase(entries_.begin() + (found - entries_.data()));
    Append(entry);
}

const FolderListing::Entry *FolderListing::Find(const wchar_t *name) const
{
    if (!sorted_) {
        byName_.resize(entries_.size());
        for (size_t i = 0; i < byName_.size(); ++i)
            byName_[i] = (uint32_t)i;
        // Stable, so that of names equal but for case the first listed comes first.
        std::stable_sort(byName_.begin(), byName_.end(), [this](uint32_t a, uint32_t b) {
            return CompareNames(NameOf(entries_[a]), NameOf(entries_[b])) < 0;
        });
        sorted_ = true;
    }
    auto first = std::lower_bound(byName_.begin(), byName_.end(), name, [this](uint32_t index, const wchar_t *key) {
        return CompareNames(NameOf(entries_[index]), key) < 0;
    });
    const Entry *found = nullptr;
    for (auto it = first; it != byName_.end() && CompareNames(NameOf(entries_[*it]), name) == 0; ++it) {
        if (wcscmp(NameOf(entries_[*it]), name) == 0)
            return &entries_[*it];
        if (found == nullptr)
            found = &entries_[*it];
    }
    return found;
}

void FolderListing::ToFindData(const Entry &entry, WIN32_FIND_DATAW *out) const
{
    ZeroMemory(out, sizeof(*out));
    out->dwFileAttributes = entry.attributes;
    out->nFileSizeHigh = entry.sizeHigh;
    out->nFileSizeLow = entry.sizeLow;
    out->ftCreationTime = entry.creation;
    out->ftLastWriteTime = entry.lastWrite;
    lstrcpynW(out->cFileName, NameOf(entry), MAX_PATH);
}
