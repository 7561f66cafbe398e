// Shared helpers of the core tests: a recorder that answers message boxes, and a private
// temporary folder per test (ScratchFolder).
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "MessageBoxSeam.h"
#include "ScratchFolder.h"

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
