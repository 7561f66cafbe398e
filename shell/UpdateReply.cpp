// The update check's reply file: opened for the reply, read back for "newerEXE", deleted.
#include "UpdateCheck.h"

#include <string.h>

#include "CheckedFile.h"
#include "Clock.h"
#include "GlobalSettings.h"
#include "ShellState.h"

FILE *updateReplyStream = nullptr;

namespace {

const int kWriteAttempts = 6;
const DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

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
        FileCheck check;
        updateReplyStream = OpenCheckedStream(updateReplyFile, "w", kShare, &check);
        if (updateReplyStream != nullptr)
            return 0;
        error = check.outcome == kFileNotOpened ? check.error : ERROR_ACCESS_DENIED;
    }
    return error != 0 ? (int)error : 1;
}

int OpenUpdateFileForReading()
{
    FileCheck check;
    updateReplyStream = OpenCheckedStream(updateReplyFile, "r", kShare, &check);
    return updateReplyStream != nullptr ? 0 : 3;
}

void DeleteUpdateReplyFile()
{
    FileCheck check;
    DeleteFileChecked(updateReplyFile, &check);
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
    DeleteUpdateReplyFile();
    if (__atomic_load_n(&newVersionAvailable, __ATOMIC_ACQUIRE) == 1)
        return;
    StoreCheckDate();
}

void DiscardVersionReply()
{
    DeleteUpdateReplyFile();
    StoreCheckDate();
}
