// The update check's reply file: opened for the reply, read back for "newerEXE", deleted.
#include "UpdateCheck.h"

#include <fcntl.h>
#include <io.h>
#include <string.h>

#include "Clock.h"
#include "GlobalSettings.h"
#include "ShellState.h"

FILE *updateReplyStream = nullptr;

namespace {

const int kWriteAttempts = 6;

void StoreCheckDate()
{
    SYSTEMTIME today;
    GetLocalNow(&today);
    WriteSettingInt("misc", "cnv_month", today.wMonth);
    WriteSettingInt("misc", "cnv_day", today.wDay);
    WriteSettingInt("misc", "cnv_year", today.wYear);
}

}  // namespace

int OpenUpdateFileForWriting()
{
    DWORD error = 0;
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        if (attempt > 0)
            Sleep(1000);
        updateReplyStream = fopen(updateReplyFile, "w");
        if (updateReplyStream != nullptr)
            return 0;
        error = GetLastError();
    }
    return error != 0 ? (int)error : 1;
}

int OpenUpdateFileForReading()
{
    updateReplyStream = fopen(updateReplyFile, "r");
    if (updateReplyStream != nullptr)
        return 0;
    HANDLE file = CreateFileA(updateReplyFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    int descriptor = _open_osfhandle((intptr_t)file, _O_RDONLY | _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(file);
        return 1;
    }
    updateReplyStream = _fdopen(descriptor, "r");
    if (updateReplyStream == nullptr) {
        _close(descriptor);
        return 2;
    }
    return 0;
}

void ParseVersionReply()
{
    if (OpenUpdateFileForReading() == 0) {
        char line[250];
        while (fgets(line, sizeof(line), updateReplyStream) != nullptr)
            if (strstr(line, "newerEXE") != nullptr)
                __atomic_store_n(&newVersionAvailable, 1, __ATOMIC_RELEASE);
        fclose(updateReplyStream);
        updateReplyStream = nullptr;
    }
    DeleteFileA(updateReplyFile);
    if (__atomic_load_n(&newVersionAvailable, __ATOMIC_ACQUIRE) == 1)
        return;
    StoreCheckDate();
}

void DiscardVersionReply()
{
    DeleteFileA(updateReplyFile);
    StoreCheckDate();
}
