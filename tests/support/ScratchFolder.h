// A fresh folder under the temporary folder for one test, removed with its contents at the end.
#pragma once
#include <windows.h>

#include <string>

// Removes a folder tree; a link inside it is removed, never followed.
inline void RemoveTreeW(const std::wstring &folder)
{
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((base + L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring full = base + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (directory && !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTreeW(full);
            else if (directory)
                RemoveDirectoryW(full.c_str());
            else
                DeleteFileW(full.c_str());
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    SetFileAttributesW(base.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryW(base.c_str());
}

class ScratchFolder {
public:
    ScratchFolder()
    {
        char base[MAX_PATH];
        GetTempPathA(sizeof(base), base);
        static int counter = 0;
        path = std::string(base) + "velloran_test_" + std::to_string(GetCurrentProcessId()) + "_" +
               std::to_string(++counter) + "\\";
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~ScratchFolder() { RemoveTreeW(Wide()); }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;

    std::string path; // ends in '\'
    std::wstring Wide() const
    {
        int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
        std::wstring wide((size_t)(length > 1 ? length - 1 : 0), L'\0');
        if (length > 1)
            MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], length);
        return wide;
    }
};
