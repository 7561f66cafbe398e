#include "ConfigRuntime.h"

#include <string.h>

static SRWLOCK statusLock = SRWLOCK_INIT;

void SetStatusText(BackupConfig *config, const char *text)
{
    AcquireSRWLockExclusive(&statusLock);
    lstrcpynA(config->statusText, text, sizeof(config->statusText));
    ReleaseSRWLockExclusive(&statusLock);
}

void GetStatusText(const BackupConfig *config, char *out, size_t outSize)
{
    if (outSize == 0)
        return;
    AcquireSRWLockShared(&statusLock);
    lstrcpynA(out, config->statusText, (int)outSize);
    ReleaseSRWLockShared(&statusLock);
}
