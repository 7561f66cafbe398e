#include "JobLog.h"

#include <windows.h>
#include <share.h>

#include "MsvcrtFormat.h"

void SetJobLogAside(JobLogFile *log, const char *dataFolder, int uniqueId)
{
    FormatText(log->logPath, sizeof(log->logPath), "%s%d.txt", dataFolder, uniqueId);
    FormatText(log->asidePath, sizeof(log->asidePath), "%s.tmp", log->logPath);
    log->setAside = 0;
    log->keepOld = 0;
    log->stream = nullptr;
    if (GetFileAttributesA(log->logPath) == INVALID_FILE_ATTRIBUTES)
        return;
    if (CopyFileA(log->logPath, log->asidePath, FALSE))
        log->setAside = 1;
    else
        log->keepOld = 1; // never truncate a log whose text is nowhere else
}

int OpenJobLog(JobLogFile *log)
{
    log->stream = _fsopen(log->logPath, log->keepOld ? "at" : "wt", _SH_DENYWR);
    return log->stream != nullptr ? 1 : 0;
}

void CloseJobLog(JobLogFile *log)
{
    if (log->stream == nullptr)
        return;
    if (log->setAside) {
        FILE *aside = fopen(log->asidePath, "rt");
        if (aside != nullptr) {
            char chunk[259];
            while (fgets(chunk, sizeof(chunk), aside) != nullptr)
                fputs(chunk, log->stream);
            fclose(aside);
            DeleteFileA(log->asidePath);
        }
    }
    fclose(log->stream);
    log->stream = nullptr;
}
