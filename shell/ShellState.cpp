#include "ShellState.h"

#include "Clock.h"

HMENU mainMenu = nullptr;
HACCEL mainAccelerators = nullptr;
HANDLE singleInstanceMutex = nullptr;
HWND jobListWindow = nullptr;
HWND statusBarWindow = nullptr;
int clientWidth = 0;
int clientHeight = 0;
long long updateCheckBase = 0;
int updateCheckTriggered = 0;
int updateCheckDay = 0;
int32_t newVersionAvailable = 0;
int mainHandlerDepth = 0;

long long GetCalendarSeconds()
{
    SYSTEMTIME utc;
    GetUtcNow(&utc);
    FILETIME file;
    if (!SystemTimeToFileTime(&utc, &file))
        return 0;
    unsigned long long ticks = ((unsigned long long)file.dwHighDateTime << 32) | file.dwLowDateTime;
    return (long long)(ticks / 10000000ULL) - 11644473600LL;
}
