// Benchmark peer (not a test): the plainest Win32 mirror there is, to measure the job against.
// It walks the source tree with FindFirstFileW and calls CopyFileW for each file.
//   copy_walker copy <source\> <destination\>   copies every file (a first run)
//   copy_walker sync <source\> <destination\>   copies a file only when the destination's
//                                                size or last-write time differs (a rerun)
// Prints "files=<seen> copied=<copied> failed=<failed> seconds=<the walk's own time>"; exit
// code 1 when a copy failed.
#include <windows.h>

#include <stdio.h>

#include <string>

namespace {

struct Counts {
    long seen = 0;
    long copied = 0;
    long failed = 0;
};

bool IsSame(const WIN32_FIND_DATAW &source, const WIN32_FILE_ATTRIBUTE_DATA &target)
{
    return source.nFileSizeLow == target.nFileSizeLow && source.nFileSizeHigh == target.nFileSizeHigh &&
           CompareFileTime(&source.ftLastWriteTime, &target.ftLastWriteTime) == 0;
}

void WalkFolder(const std::wstring &source, const std::wstring &target, bool sync, Counts *counts)
{
    CreateDirectoryW(target.c_str(), nullptr);
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((source + L"*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            WalkFolder(source + name + L"\\", target + name + L"\\", sync, counts);
            continue;
        }
        ++counts->seen;
        std::wstring to = target + name;
        WIN32_FILE_ATTRIBUTE_DATA existing;
        if (sync && GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &existing) && IsSame(entry, existing))
            continue;
        if (CopyFileW((source + name).c_str(), to.c_str(), FALSE))
            ++counts->copied;
        else
            ++counts->failed;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    if (argc != 4 || (wcscmp(argv[1], L"copy") != 0 && wcscmp(argv[1], L"sync") != 0)) {
        fprintf(stderr, "usage: copy_walker copy|sync <source\\> <destination\\>\n");
        return 2;
    }
    Counts counts;
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    WalkFolder(argv[2], argv[3], wcscmp(argv[1], L"sync") == 0, &counts);
    QueryPerformanceCounter(&end);
    printf("files=%ld copied=%ld failed=%ld seconds=%.3f\n", counts.seen, counts.copied, counts.failed,
           (double)(end.QuadPart - start.QuadPart) / (double)frequency.QuadPart);
    return counts.failed == 0 ? 0 : 1;
}
