// The new archive is written under a temporary name beside the previous one, which it replaces
// only once it is complete: a job killed while compressing, or a destination that fills up,
// leaves the previous archive whole under its own name and nothing torn under that name.
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "LongPath.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"
#include "ZipStep.h"

const char kZipTemporarySuffix[] = ".vlrnew";

namespace {

const char kZipSwapSuffix[] = ".vlrswap";

void LogUndeletable(FILE *log, const char *path)
{
    LogLastError("Delete File", log);
    WriteText(log, "ERROR: Unable to delete old zip file: %s\n", path);
}

bool DeleteIfThere(FILE *log, const char *path)
{
    if (DeleteZipFile(path) != 0)
        return true;
    LogUndeletable(log, path);
    return false;
}

// Deletes the files from the last to the first, so that what a kill leaves of a run of parts
// still starts where it started.
bool DeleteBackwards(FILE *log, const std::vector<std::string> &files)
{
    for (size_t i = files.size(); i > 0; --i)
        if (!DeleteIfThere(log, files[i - 1].c_str()))
            return false;
    return true;
}

// The previous archive's files: the archive itself and, when this run writes volumes, its
// parts. Each must be deletable before anything is moved, so a file that another program holds
// open fails the step with the previous archive still whole.
bool CollectOldFiles(const char *zipPath, FILE *log, JobContext *context, std::vector<std::string> *old)
{
    if (ZipFileExists(zipPath))
        old->push_back(zipPath);
    if (UsesZipVolumes(context)) {
        if (strlen(zipPath) >= 256) {
            WriteText(log, "ERROR: ZIP file path too long for splitting: %s\n", zipPath);
            return false;
        }
        if (!FindZipParts(zipPath, 1, old)) {
            WriteText(log, "ERROR: Too many old ZIP file parts in destination path: %s\n", zipPath);
            return false;
        }
    }
    for (const std::string &file : *old) {
        if (!CanDeleteZipFile(file.c_str())) {
            LogUndeletable(log, file.c_str());
            return false;
        }
    }
    return true;
}

bool MoveIntoPlace(FILE *log, const char *from, const char *to)
{
    if (MoveZipFile(from, to))
        return true;
    LogLastError("Move File", log);
    WriteText(log, "ERROR: Unable to put the new zip file in place of the old one: %s\n", to);
    return false;
}

void MakeSwapNotePath(const char *zipPath, char *out, size_t outSize)
{
    FormatText(out, outSize, "%s%s", zipPath, kZipSwapSuffix);
}

// The note holds the new archive's part count ("0" for one file) and a line end, which a note
// cut short by a kill lacks.
bool WriteSwapNote(FILE *log, const char *zipPath, int parts)
{
    char path[kZipFileNameSize];
    MakeSwapNotePath(zipPath, path, sizeof(path));
    NoteZipFileChange(path);
    char text[32];
    int length = FormatText(text, sizeof(text), "%d\r\n", parts);
    wchar_t *wide = MakeFilePathFromAnsi(path);
    HANDLE file = wide != nullptr ? CreateFileW(wide, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                nullptr)
                                  : INVALID_HANDLE_VALUE;
    DWORD written = 0;
    bool done = file != INVALID_HANDLE_VALUE && WriteFile(file, text, (DWORD)length, &written, nullptr) &&
                written == (DWORD)length && FlushFileBuffers(file);
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!done && wide != nullptr)
        DeleteFileW(wide);
    free(wide);
    if (done)
        return true;
    SetLastError(error);
    LogLastError("Write File", log);
    WriteText(log, "ERROR: Unable to write the note of the zip file replacement: %s\n", path);
    return false;
}

// The part count of the note, or -1 when it is no whole note.
int ReadSwapNote(const char *path)
{
    wchar_t *wide = MakeFilePathFromAnsi(path);
    HANDLE file = wide != nullptr ? CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr)
                                  : INVALID_HANDLE_VALUE;
    free(wide);
    if (file == INVALID_HANDLE_VALUE)
        return -1;
    char text[32] = "";
    DWORD read = 0;
    bool done = ReadFile(file, text, sizeof(text) - 1, &read, nullptr);
    CloseHandle(file);
    text[done ? read : 0] = '\0';
    char *end = nullptr;
    long parts = strtol(text, &end, 10);
    if (end == text || strcmp(end, "\r\n") != 0 || parts < 0 || parts > kLastZipPart)
        return -1;
    return (int)parts;
}

// Puts the new archive of `parts` parts (0: one file) written under the temporary name in place
// of what zipPath holds, then deletes the note. Each step can be done again after a kill:
// - one file: it replaces the archive's own name at one stroke; the old parts go after it;
// - parts: the old archive's own name, its first part and the parts past the new archive's
//   go first, so no old part mixes with the new ones; then the new parts take their numbers
//   from the last to the first, so the first part completes the new archive.
bool FinishSwap(FILE *log, const char *zipPath, int parts)
{
    char temporary[kZipFileNameSize];
    char from[kZipFileNameSize];
    char to[kZipFileNameSize];
    MakeTemporaryZipPath(zipPath, temporary, sizeof(temporary));
    std::vector<std::string> stale;
    if (parts == 0) {
        if (ZipFileExists(temporary) && !MoveIntoPlace(log, temporary, zipPath))
            return false;
        FindZipParts(zipPath, 1, &stale);
    } else {
        if (!DeleteIfThere(log, zipPath))
            return false;
        FormatZipPartName(from, sizeof(from), temporary, 1);
        FormatZipPartName(to, sizeof(to), zipPath, 1);
        if (ZipFileExists(from) && !DeleteIfThere(log, to))
            return false;
        FindZipParts(zipPath, parts + 1, &stale);
    }
    if (!DeleteBackwards(log, stale))
        return false;
    for (int n = parts; n > 0; --n) {
        FormatZipPartName(from, sizeof(from), temporary, n);
        FormatZipPartName(to, sizeof(to), zipPath, n);
        if (ZipFileExists(from) && !MoveIntoPlace(log, from, to))
            return false;
    }
    MakeSwapNotePath(zipPath, to, sizeof(to));
    return DeleteIfThere(log, to);
}

}  // namespace

void MakeTemporaryZipPath(const char *zipPath, char *out, size_t outSize)
{
    FormatText(out, outSize, "%s%s", zipPath, kZipTemporarySuffix);
}

int DeleteTemporaryZipFiles(const char *temporary, FILE *log)
{
    std::vector<std::string> files;
    if (ZipFileExists(temporary))
        files.push_back(temporary);
    FindZipParts(temporary, 1, &files);
    for (const std::string &file : files) {
        if (DeleteZipFile(file.c_str()) == 0) {
            LogUndeletable(log, file.c_str());
            return 0;
        }
    }
    return 1;
}

bool IsZipSwapPending(const char *zipPath)
{
    char note[kZipFileNameSize];
    MakeSwapNotePath(zipPath, note, sizeof(note));
    return ZipFileExists(note);
}

int ReplaceOldZipFiles(const char *temporary, const char *zipPath, FILE *log, JobContext *context)
{
    std::vector<std::string> old;
    if (!CollectOldFiles(zipPath, log, context, &old))
        return 0;
    if (!UsesZipVolumes(context))
        return MoveIntoPlace(log, temporary, zipPath) ? 1 : 0;
    // The new archive is one file, or parts that take the numbers of the old ones.
    std::vector<std::string> newParts;
    bool single = ZipFileExists(temporary);
    if (!single && !FindZipParts(temporary, 1, &newParts))
        return 0;
    int parts = single ? 0 : (int)newParts.size();
    if (!WriteSwapNote(log, zipPath, parts))
        return 0;
    return FinishSwap(log, zipPath, parts) ? 1 : 0;
}

int FinishPendingZipSwaps(const char *folder, FILE *log)
{
    char pattern[kZipFileNameSize];
    FormatText(pattern, sizeof(pattern), "%s*%s", folder, kZipSwapSuffix);
    wchar_t *widePattern = AnsiToWideAlloc(pattern);
    WIN32_FIND_DATAW entry;
    HANDLE search = widePattern != nullptr ? FindFirstFileLong(widePattern, &entry) : INVALID_HANDLE_VALUE;
    free(widePattern);
    if (search == INVALID_HANDLE_VALUE)
        return 1;
    int result = 1;
    const size_t suffix = strlen(kZipSwapSuffix);
    do {
        char name[kZipFileNameSize];
        WideToAnsiBuffer(name, sizeof(name), entry.cFileName);
        size_t length = strlen(name);
        if (length <= suffix || _stricmp(name + length - suffix, kZipSwapSuffix) != 0)
            continue;
        char zipPath[kZipFileNameSize];
        char note[kZipFileNameSize];
        FormatText(zipPath, sizeof(zipPath), "%s%.*s", folder, (int)(length - suffix), name);
        MakeSwapNotePath(zipPath, note, sizeof(note));
        int parts = ReadSwapNote(note);
        if (parts < 0) {
            // Cut short while it was written: nothing of the old archive was touched yet.
            char temporary[kZipFileNameSize];
            MakeTemporaryZipPath(zipPath, temporary, sizeof(temporary));
            if (!DeleteTemporaryZipFiles(temporary, log) || !DeleteIfThere(log, note))
                result = 0;
            continue;
        }
        WriteText(log, "Finishing the replacement of a zip file that an earlier run left unfinished: %s\n", zipPath);
        if (!FinishSwap(log, zipPath, parts))
            result = 0;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return result;
}
