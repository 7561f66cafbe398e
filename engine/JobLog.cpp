#include "JobLog.h"

#include <fcntl.h>
#include <io.h>
#include <string.h>

#include "CheckedFile.h"
#include "MsvcrtFormat.h"

namespace {

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

void NoteFileCheck(JobLogFile *log, const FileCheck &check, const char *path)
{
    size_t used = strlen(log->notes);
    char line[800];
    if (FormatFileCheck(check, path, line, sizeof(line)))
        lstrcpynA(log->notes + used, line, (int)(sizeof(log->notes) - used));
}

// Copies the rest of the file into the log as it lies.
void AppendHandleToLog(FILE *log, HANDLE file)
{
    fflush(log);
    int mode = _setmode(_fileno(log), _O_BINARY);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        fwrite(chunk, 1, got, log);
    fflush(log);
    if (mode != -1)
        _setmode(_fileno(log), mode);
}

} // namespace

void SetJobLogAside(JobLogFile *log, const char *dataFolder, int uniqueId)
{
    FormatText(log->logPath, sizeof(log->logPath), "%s%d.txt", dataFolder, uniqueId);
    FormatText(log->asidePath, sizeof(log->asidePath), "%s.tmp", log->logPath);
    log->aside = INVALID_HANDLE_VALUE;
    log->keepOld = 0;
    log->notes[0] = '\0';
    log->stream = nullptr;
    // A previous log that is a link is not ours to carry on: it is made anew when it opens.
    FileCheck check;
    HANDLE previous = OpenFileChecked(log->logPath, GENERIC_READ, kShareAll, &check);
    NoteFileCheck(log, check, log->logPath);
    if (previous == INVALID_HANDLE_VALUE) {
        // A log that is there but cannot be read now is added to rather than emptied.
        log->keepOld = check.outcome == kFileNotOpened && check.error != ERROR_FILE_NOT_FOUND &&
                       check.error != ERROR_PATH_NOT_FOUND;
        return;
    }
    HANDLE aside = CreateFileAnew(log->asidePath, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, &check);
    NoteFileCheck(log, check, log->asidePath);
    if (aside != INVALID_HANDLE_VALUE && CopyFileContent(previous, aside)) {
        log->aside = aside;
    } else {
        if (aside != INVALID_HANDLE_VALUE) {
            DeleteThroughHandle(aside);
            CloseHandle(aside);
        }
        log->keepOld = 1; // never truncate a log whose text is nowhere else
    }
    CloseHandle(previous);
}

int OpenJobLog(JobLogFile *log)
{
    FileCheck check;
    log->stream = OpenCheckedStream(log->logPath, log->keepOld ? "at" : "wt", FILE_SHARE_READ, &check);
    if (log->stream == nullptr)
        return 0;
    NoteFileCheck(log, check, log->logPath);
    WriteText(log->stream, "%s", log->notes);
    return 1;
}

int AppendFileToLog(FILE *log, const char *path)
{
    FileCheck check;
    HANDLE input = OpenFileChecked(path, GENERIC_READ, kShareAll, &check);
    LogFileCheck(log, check, path);
    if (input == INVALID_HANDLE_VALUE)
        return 0;
    AppendHandleToLog(log, input);
    CloseHandle(input);
    return 1;
}

void CloseJobLog(JobLogFile *log)
{
    if (log->aside != INVALID_HANDLE_VALUE) {
        LARGE_INTEGER start = {};
        if (log->stream != nullptr && SetFilePointerEx(log->aside, start, nullptr, FILE_BEGIN)) {
            AppendHandleToLog(log->stream, log->aside);
            DeleteThroughHandle(log->aside);
        }
        CloseHandle(log->aside);
        log->aside = INVALID_HANDLE_VALUE;
    }
    if (log->stream != nullptr)
        fclose(log->stream);
    log->stream = nullptr;
}
