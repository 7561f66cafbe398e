#include <string.h>

#include "ErrorReport.h"
#include "FolderHelpers.h"
#include "GlobalSettings.h"
#include "LongPath.h"
#include "MirrorCopy.h"
#include "MirrorPath.h"
#include "MsvcrtFormat.h"
#include "SafeFileCopy.h"

// R is the folder of the revisions of this source; the name splits at its last dot.
struct RevisionName {
    wchar_t folder[kWidePathChars];
    wchar_t base[kWidePathChars];
    const wchar_t *dot;
    wchar_t extension[kWidePathChars];
};

// *made tells that the folder was not there and has just been made: it holds no revision yet.
// Making the folder is how a missing one is found out (a look-up of a missing name reads its
// whole parent folder under Wine); the creation fails at once on one that is there, and only a
// missing parent needs every level made.
static int FindRevisionFolder(const wchar_t *source, FILE *log, JobContext *context, wchar_t *folder, bool *made)
{
    *made = false;
    if (!BuildMirrorPath(context->revisionsFolder, source, log, 0, folder, kWidePathChars, 1))
        return 0;
    if (CreateDirectoryLogged(folder, log)) {
        *made = true;
        return 1;
    }
    if (GetLastError() != ERROR_PATH_NOT_FOUND && IsDirectory(folder))
        return 1;
    *made = BuildMirrorPath(context->revisionsFolder, source, log, 1, folder, kWidePathChars, 1) != 0;
    return *made ? 1 : 0;
}

static int SplitRevisionName(const wchar_t *mirror, RevisionName *name)
{
    const wchar_t *slash = wcsrchr(mirror, L'\\');
    if (slash == nullptr)
        return 0;
    wcsncpy(name->base, slash + 1, kWidePathChars - 1);
    name->base[kWidePathChars - 1] = L'\0';
    wchar_t *lastDot = wcsrchr(name->base, L'.');
    name->dot = L"";
    name->extension[0] = L'\0';
    if (lastDot != nullptr) {
        wcscpy(name->extension, lastDot + 1);
        *lastDot = L'\0';
        name->dot = L".";
    }
    return 1;
}

static bool IsEarlier(const FILETIME &a, const FILETIME &b)
{
    if (a.dwHighDateTime != b.dwHighDateTime)
        return a.dwHighDateTime < b.dwHighDateTime;
    return a.dwLowDateTime < b.dwLowDateTime;
}

// The first free number, else the one with the oldest last-write time; 0 when a path is too long,
// -1 when every number is taken by a folder. In a folder made just now every number is free. A
// number is looked up by its name alone: unlike a search, that opens no folder. A revision is
// only ever a file: a folder under a number (an earlier run of ours once moved a replaced mirror
// folder there) is neither free nor the oldest, and is left as it is.
static int ChooseRevisionNumber(const RevisionName &name, int revisionCount, bool emptyFolder, FILE *log)
{
    size_t fixed = wcslen(name.folder) + wcslen(name.base) + wcslen(name.dot) + wcslen(name.extension) + 2;
    int oldest = 0;
    FILETIME oldestTime = {0, 0};
    wchar_t path[kWidePathChars + 16];
    for (int n = 1; n <= revisionCount; ++n) {
        wchar_t digits[16];
        FormatTextW(digits, 16, L"%d", n);
        if (wcslen(digits) + fixed > kWidePathChars) {
            WriteText(log, "WARNING: Revision path too long: %ws%ws.%d%ws%ws\n", name.folder, name.base, n,
                      name.dot, name.extension);
            return 0;
        }
        if (emptyFolder)
            return n;
        FormatTextW(path, kWidePathChars + 16, L"%ws%ws.%d%ws%ws", name.folder, name.base, n, name.dot,
                    name.extension);
        WIN32_FILE_ATTRIBUTE_DATA found;
        if (!GetFileAttributesExLong(path, &found))
            return n;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (oldest == 0 || IsEarlier(found.ftLastWriteTime, oldestTime)) {
            oldest = n;
            oldestTime = found.ftLastWriteTime;
        }
    }
    return oldest != 0 ? oldest : -1;
}

int PrepareRevision(const wchar_t *source, const wchar_t *mirror, FILE *log, JobContext *context, wchar_t *target,
                    size_t targetChars)
{
    static thread_local RevisionName name;
    bool made = false;
    if (!FindRevisionFolder(source, log, context, name.folder, &made) || !SplitRevisionName(mirror, &name))
        return 0;
    int number = ChooseRevisionNumber(name, context->config->revisionCount, made, log);
    if (number == -1) {
        FormatTextW(target, targetChars, L"%ws%ws.1%ws%ws", name.folder, name.base, name.dot, name.extension);
        WriteText(log, "WARNING: Unable to save revision file:\n\tFrom: %ws\n\tTo:   %ws\n", mirror, target);
        return 0;
    }
    if (number == 0)
        return 0;
    wchar_t fileName[kWidePathChars + 16];
    FormatTextW(fileName, kWidePathChars + 16, L"%ws.%d%ws%ws", name.base, number, name.dot, name.extension);
    if (!CheckJoinedPathLengthW(name.folder, fileName, kWidePathChars + 1, log))
        return 0;
    FormatTextW(target, targetChars, L"%ws%ws", name.folder, fileName);
    return 1;
}

void NoteRevisionSaved(const wchar_t *mirror, const wchar_t *target, FILE *log, JobContext *context)
{
    ++context->revisedCount;
    if (gSettings.logVerbose)
        WriteText(log, "Saved revision file:\n\tFrom: %ws\n\tTo:   %ws\n", mirror, target);
}

void ReportRevisionNotSaved(const wchar_t *mirror, const wchar_t *target, DWORD error, FILE *log)
{
    SetLastError(error);
    LogLastError("Revision Copy", log);
    WriteText(log, "WARNING: Unable to save revision file:\n\tFrom: %ws\n\tTo:   %ws\n", mirror, target);
}
