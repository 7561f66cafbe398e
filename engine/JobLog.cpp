#include "JobLog.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
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

int AppendFileToLog(FILE *log, const char *path)
{
    FILE *input = fopen(path, "rb");
    if (input == nullptr)
        return 0;
    fflush(log);
    int mode = _setmode(_fileno(log), _O_BINARY);
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), input)) > 0)
        fwrite(chunk, 1, got, log);
    fflush(log);
    if (mode != -1)
        _setmode(_fileno(log), mode);
    fclose(input);
    return 1;
}

void CloseJobLog(JobLogFile *log)
{
    if (log->stream == nullptr)
        return;
    if (log->setAside && AppendFileToLog(log->stream, log->asidePath))
        DeleteFileA(log->asidePath);
    fclose(log->stream);
    log->stream = nullptr;
}
