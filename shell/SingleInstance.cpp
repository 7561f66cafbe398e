#include "SingleInstance.h"

#include <stdlib.h>
#include <string.h>

#include "JobControl.h"
#include "RunQueue.h"
#include "ShellState.h"
#include "TextHelpers.h"

const char *const kMutexName = "KVVelloranPrevent2InstanceMutex";
const char *const kWindowClassName = "Velloran";
DWORD instanceWindowWaitMs = 5000;

// The running instance may hold the mutex before its window exists. Until the wait is over,
// look for the window again every 100 ms; when that instance ends meanwhile, its mutex comes
// to this process, which then runs as the instance.
static HWND WaitForInstanceWindow(int *becameOwner)
{
    *becameOwner = 0;
    DWORD waited = 0;
    for (;;) {
        HWND found = FindWindowA(kWindowClassName, nullptr);
        if (found != nullptr)
            return found;
        if (waited >= instanceWindowWaitMs)
            return nullptr;
        DWORD wait = WaitForSingleObject(singleInstanceMutex, 100);
        if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
            *becameOwner = 1;
            return nullptr;
        }
        waited += 100;
    }
}

static void BringInstanceForward(HWND other)
{
    if (!IsWindowVisible(other))
        ShowWindow(other, SW_SHOW);
    if (IsIconic(other))
        OpenIcon(other);
    else
        SetForegroundWindow(other);
}

int EnsureSingleInstance(const char *commandLine, HWND *other)
{
    *other = nullptr;
    singleInstanceMutex = CreateMutexA(nullptr, TRUE, kMutexName);
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return 1;
    int becameOwner = 0;
    HWND found = WaitForInstanceWindow(&becameOwner);
    if (found == nullptr)
        return 1;  // no window came: run as a full instance after all
    CloseHandle(singleInstanceMutex);
    singleInstanceMutex = nullptr;
    if (FindNoCase(commandLine, "/hidden") == nullptr)
        BringInstanceForward(found);
    *other = found;
    return 0;
}

void HandOverCommandLine(HWND other, const char *commandLine)
{
    COPYDATASTRUCT block;
    ZeroMemory(&block, sizeof(block));
    block.dwData = 0;
    block.cbData = (DWORD)strlen(commandLine) + 1;
    block.lpData = (void *)commandLine;
    SendMessageA(other, WM_COPYDATA, (WPARAM)GetDesktopWindow(), (LPARAM)&block);
}

int CopyHandedOverText(const COPYDATASTRUCT *block, char *out, size_t outSize)
{
    if (outSize == 0)
        return 0;
    out[0] = '\0';
    if (block == nullptr || block->lpData == nullptr || block->cbData == 0)
        return 0;
    size_t length = block->cbData;
    if (length > outSize - 1)
        length = outSize - 1;
    memcpy(out, block->lpData, length);
    out[length] = '\0';
    return 1;
}

void ApplyCommandLine(int handedOver, const char *text)
{
    if (text == nullptr)
        text = "";
    const char *run = FindNoCase(text, "/run=");
    if (run != nullptr)
        QueueRun(atoi(run + 5));
    if (handedOver == 0 || exitWhenDone == 1)
        exitWhenDone = FindNoCase(text, "/exitwhendone") != nullptr ? 1 : 0;
}
