// The archive files of the ZIP step: names with their root tags, the file operations on archives
// and their parts, a lone part renamed, the files of this run's archives and the library's log.
#include <stdlib.h>
#include <string.h>

#include "ConfigRuntime.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "JobLog.h"
#include "MsvcrtFormat.h"
#include "LongPath.h"
#include "TextConversion.h"
#include "TextHelpers.h"
#include "ZipStep.h"

static ZipFileChangeHook changeHook = nullptr;

void SetZipFileChangeHookForTesting(ZipFileChangeHook hook)
{
    __atomic_store_n(&changeHook, hook, __ATOMIC_RELEASE);
}

void NoteZipFileChange(const char *path)
{
    ZipFileChangeHook hook = __atomic_load_n(&changeHook, __ATOMIC_ACQUIRE);
    if (hook != nullptr)
        hook(path);
}

bool UsesZipVolumes(const JobContext *context)
{
    return (context->burnToDisc == 1 && context->spanDiscs == 1) || (context->config->flags & SplitZip) != 0;
}

// "_D" for "D:\", "_srv_data" for "\\srv\data\".
static void BuildRootTag(const char *root, char *tag, size_t tagSize)
{
    char raw[270];
    FormatText(raw, sizeof(raw), "_%s", root);
    size_t length = strlen(raw);
    if (length >= 7 && raw[1] == '\\' && raw[2] == '\\') {
        char *separator = strchr(raw + 3, '\\');
        if (separator != nullptr && separator[1] != '\0')
            *separator = '_';
    }
    SanitizeFileName(tag, tagSize, raw);
}

int AddRootToZipName(char *out260, const char *name, const ZipOutput *output, FILE *log)
{
    lstrcpynA(out260, name, 260);
    char tag[270];
    BuildRootTag(output->root, tag, sizeof(tag));
    char *dot = strrchr(out260, '.');
    if (dot == nullptr) {
        WriteText(log, "ERROR (8): Invalid compressed filename: %s\n", name);
        return 0;
    }
    if (strlen(out260) + strlen(tag) >= 260) {
        WriteText(log, "ERROR (8b): Compressed filename too long with source root tag: %s%s\n", name, tag);
        return 0;
    }
    memmove(dot + strlen(tag), dot, strlen(dot) + 1);
    memcpy(dot, tag, strlen(tag));
    return 1;
}

int DeleteZipFile(const char *path)
{
    NoteZipFileChange(path);
    wchar_t *wide = MakeFilePathFromAnsi(path);
    if (wide == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    BOOL deleted = DeleteFileW(wide);
    DWORD error = GetLastError();
    free(wide);
    SetLastError(error);
    if (deleted)
        return 1;
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? -1 : 0;
}

bool MoveZipFile(const char *from, const char *to)
{
    NoteZipFileChange(to);
    wchar_t *wideFrom = MakeFilePathFromAnsi(from);
    wchar_t *wideTo = MakeFilePathFromAnsi(to);
    BOOL moved = FALSE;
    if (wideFrom != nullptr && wideTo != nullptr)
        moved = MoveFileExW(wideFrom, wideTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    else
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    DWORD error = GetLastError();
    free(wideFrom);
    free(wideTo);
    SetLastError(error);
    return moved != FALSE;
}

bool CanDeleteZipFile(const char *path)
{
    wchar_t *wide = MakeFilePathFromAnsi(path);
    if (wide == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    bool deletable = false;
    DWORD attributes = GetFileAttributesW(wide);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
    } else {
        // Fails with a sharing violation while another program holds the file without letting
        // it be deleted.
        HANDLE file = CreateFileW(wide, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        deletable = file != INVALID_HANDLE_VALUE;
        if (deletable)
            CloseHandle(file);
    }
    DWORD error = GetLastError();
    free(wide);
    SetLastError(error);
    return deletable;
}

bool IsZipFilePresent(const char *path)
{
    wchar_t *wide = MakeFilePathFromAnsi(path);
    if (wide == nullptr)
        return false;
    HANDLE file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    free(wide);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool ZipFileExists(const char *path)
{
    wchar_t *wide = MakeFilePathFromAnsi(path);
    DWORD attributes = wide != nullptr ? GetFileAttributesW(wide) : INVALID_FILE_ATTRIBUTES;
    free(wide);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void FormatZipPartName(char *out, size_t outSize, const char *zipPath, int number)
{
    FormatText(out, outSize, "%s.%03d", zipPath, number);
}

bool FindZipParts(const char *zipPath, int first, std::vector<std::string> *parts)
{
    char part[kZipFileNameSize];
    for (int n = first;; ++n) {
        FormatZipPartName(part, sizeof(part), zipPath, n);
        if (!ZipFileExists(part))
            return true;
        if (n > kLastZipPart)
            return false;
        parts->push_back(part);
    }
}

void RenameSinglePartZip(const char *zipPath)
{
    char part[kZipFileNameSize];
    FormatZipPartName(part, sizeof(part), zipPath, 2);
    if (IsZipFilePresent(zipPath) || IsZipFilePresent(part))
        return;
    FormatZipPartName(part, sizeof(part), zipPath, 1);
    MoveZipFile(part, zipPath);
}

bool IsZipArchiveMade(const char *zipPath)
{
    char part[kZipFileNameSize];
    FormatZipPartName(part, sizeof(part), zipPath, 1);
    return ZipFileExists(zipPath) || ZipFileExists(part);
}

void CopyCompressionLog(FILE *log, const char *path)
{
    if (log == nullptr)
        return;
    const char *rule = "---------------------------------\n";
    WriteText(log, "\n");
    WriteText(log, rule);
    WriteText(log, "-- ZIP File Creation Log Start --\n");
    WriteText(log, rule);
    if (!AppendFileToLog(log, path))
        return;
    WriteText(log, rule);
    WriteText(log, "-- ZIP File Creation Log End   --\n");
    WriteText(log, rule);
    WriteText(log, "\n");
}

static int AppendVolume(FILE *log, int *count, ZipVolumePath **volumes, const char *path)
{
    ZipVolumePath *grown = static_cast<ZipVolumePath *>(realloc(*volumes, sizeof(ZipVolumePath) * (size_t)(*count + 1)));
    if (grown == nullptr) {
        WriteText(log, "ERROR (34d): Memory allocation error (%d)\n", *count + 1);
        free(*volumes);
        *volumes = nullptr;
        *count = 0;
        return 0;
    }
    *volumes = grown;
    lstrcpynA(grown[*count], path, sizeof(ZipVolumePath));
    ++*count;
    return 1;
}

static int ListOutputVolumes(const ZipOutput &output, FILE *log, int *count, ZipVolumePath **volumes)
{
    if (strlen(output.zipPath) >= 256) {
        WriteText(log, "ERROR (34b): ZIP file path too long for splitting: %s\n", output.zipPath);
        return 0;
    }
    if (IsZipFilePresent(output.zipPath))
        return AppendVolume(log, count, volumes, output.zipPath);
    std::vector<std::string> parts;
    FindZipParts(output.zipPath, 1, &parts);
    if (parts.empty()) {
        WriteText(log, "ERROR (34c): Could not find ZIP file: %s\n", output.zipPath);
        return 0;
    }
    for (const std::string &part : parts)
        if (!AppendVolume(log, count, volumes, part.c_str()))
            return 0;
    return 1;
}

int ListZipVolumes(JobContext *context, FILE *log, int *count, ZipVolumePath **volumes)
{
    *count = 0;
    *volumes = nullptr;
    for (int i = 0; i < context->zipOutputCount; ++i) {
        if (IsCancelRequested(context->config))
            return 1;
        const ZipOutput &output = context->zipOutputs[i];
        // Only what the library made in this run: an archive of a step that stopped before it,
        // or one that failed, is no backup of this run.
        if (output.fileCount == 0 || output.created != 1)
            continue;
        if (!ListOutputVolumes(output, log, count, volumes)) {
            free(*volumes);
            *volumes = nullptr;
            *count = 0;
            return 0;
        }
    }
    if (gSettings.logVerbose) {
        WriteText(log, "Current job ZIP files (%d):\n", *count);
        for (int i = 0; i < *count; ++i)
            WriteText(log, "\tFile %d: %s\n", i + 1, (*volumes)[i]);
    }
    return 1;
}
