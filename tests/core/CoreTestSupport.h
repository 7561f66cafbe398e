// Shared helpers of the core tests: a recorder that answers message boxes, and a private
// temporary folder per test.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "MessageBoxSeam.h"

struct RecordedBox {
    std::string text;
    std::string caption;
    UINT type;
};

// Records every message box and answers each with `answer`.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(int answer = IDOK)
    {
        current = this;
        this->answer = answer;
        SetMessageBoxHandler(&MessageBoxRecorder::Record);
    }
    ~MessageBoxRecorder()
    {
        SetMessageBoxHandler(nullptr);
        current = nullptr;
    }
    std::vector<RecordedBox> boxes;
    int answer;

private:
    static int Record(HWND, const char *text, const char *caption, UINT type)
    {
        current->boxes.push_back({text != nullptr ? text : "", caption != nullptr ? caption : "", type});
        return current->answer;
    }
    static inline MessageBoxRecorder *current = nullptr;
};

// A fresh folder under the temporary folder, removed with its contents at the end.
class TempFolder {
public:
    TempFolder()
    {
        char base[MAX_PATH];
        GetTempPathA(sizeof(base), base);
        static int counter = 0;
        path = std::string(base) + "core_test_" + std::to_string(GetCurrentProcessId()) + "_" +
               std::to_string(++counter) + "\\";
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path.substr(0, path.size() - 1)); }
    std::string path; // ends in '\'
    std::wstring Wide() const { return std::wstring(path.begin(), path.end()); }

private:
    static void RemoveTree(const std::string &folder)
    {
        WIN32_FIND_DATAA entry;
        HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::string name = entry.cFileName;
                if (name == "." || name == "..")
                    continue;
                std::string full = folder + "\\" + name;
                SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                    !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    RemoveTree(full);
                else if (!DeleteFileA(full.c_str()))
                    RemoveDirectoryA(full.c_str());
            } while (FindNextFileA(search, &entry));
            FindClose(search);
        }
        SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        RemoveDirectoryA(folder.c_str());
    }
};

inline SYSTEMTIME MakeTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                           int milliseconds = 0)
{
    SYSTEMTIME t = {};
    t.wYear = (WORD)year;
    t.wMonth = (WORD)month;
    t.wDay = (WORD)day;
    t.wHour = (WORD)hour;
    t.wMinute = (WORD)minute;
    t.wSecond = (WORD)second;
    t.wMilliseconds = (WORD)milliseconds;
    // Day of the week through the file-time round trip.
    FILETIME ft;
    if (SystemTimeToFileTime(&t, &ft))
        FileTimeToSystemTime(&ft, &t);
    return t;
}
