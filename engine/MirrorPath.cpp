#include "MirrorPath.h"

#include <string.h>

#include "BackupConfig.h"
#include "FolderHelpers.h"
#include "MsvcrtFormat.h"
#include "TextConversion.h"
#include "TextHelpers.h"

void MapMirrorComponent(wchar_t *out, const wchar_t *component)
{
    wchar_t drive[3];
    const wchar_t *text = component;
    if (wcslen(component) == 2 && component[1] == L':') {
        drive[0] = component[0];
        drive[1] = L'\0';
        text = drive;
    }
    SanitizeFileNameW(out, kWidePathChars, text);
}

int BuildMirrorPath(const char *root, const wchar_t *source, FILE *log, int createLevels,
                    wchar_t *out, size_t outChars, int copyAttributes)
{
    static thread_local wchar_t sourceCopy[kWidePathChars];
    static thread_local wchar_t component[kWidePathChars];
    static thread_local wchar_t mapped[kWidePathChars];
    static thread_local wchar_t sourceFolder[kWidePathChars];
    if (outChars == 0)
        return 0;
    wcsncpy(sourceCopy, source, kWidePathChars - 1);
    sourceCopy[kWidePathChars - 1] = L'\0';
    const wchar_t *rest = sourceCopy;
    while (*rest == L'\\')
        ++rest;
    AnsiToWideBuffer(out, root);
    if (wcslen(out) >= outChars)
        return 0;
    size_t length = wcslen(out);
    for (const wchar_t *slash = wcschr(rest, L'\\'); slash != nullptr; slash = wcschr(rest, L'\\')) {
        size_t componentLength = (size_t)(slash - rest);
        wcsncpy(component, rest, componentLength);
        component[componentLength] = L'\0';
        MapMirrorComponent(mapped, component);
        size_t mappedLength = wcslen(mapped);
        length += mappedLength + (mappedLength > 0 ? 1 : 0);
        if (length >= kWidePathChars || length >= outChars) {
            if (log != nullptr)
                WriteText(log, "WARNING: Directory path too long: %ws%ws\n", out, mapped);
            return 0;
        }
        if (mappedLength > 0) {
            wcscat(out, mapped);
            wcscat(out, L"\\");
        }
        rest = slash + 1;
        if (createLevels) {
            size_t folderLength = (size_t)(rest - sourceCopy);
            wcsncpy(sourceFolder, sourceCopy, folderLength);
            sourceFolder[folderLength] = L'\0';
            if (!verify_directoryW(out, log, copyAttributes, sourceFolder))
                return 0;
        }
    }
    return 1;
}

int CheckJoinedPathLengthW(const wchar_t *a, const wchar_t *b, size_t limit, FILE *log)
{
    size_t lengthB = wcslen(b);
    if (wcslen(a) + lengthB + (lengthB > 0 ? 1 : 0) < limit)
        return 1;
    if (log != nullptr)
        WriteText(log, "WARNING: Path too long: %ws%ws\n", a, b);
    return 0;
}

int CheckJoinedPathLength(const char *a, const char *b, size_t limit, FILE *log)
{
    size_t lengthB = strlen(b);
    if (strlen(a) + lengthB + (lengthB > 0 ? 1 : 0) < limit)
        return 1;
    if (log != nullptr)
        WriteText(log, "WARNING: Path too long: %s%s\n", a, b);
    return 0;
}

int CopyFolderPath(const wchar_t *path, wchar_t *out, const char *emptyLine, FILE *log)
{
    if (path[0] == L'\0') {
        WriteText(log, emptyLine);
        return 0;
    }
    size_t length = wcslen(path);
    if (length >= kWidePathChars - 1) {
        WriteText(log, "WARNING: Path too long: %ws\n", path);
        return 0;
    }
    wcscpy(out, path);
    if (out[length - 1] != L'\\')
        wcscat(out, L"\\");
    return 1;
}

int AppendBackupFolderName(const BackupConfig *config, char *folder260, FILE *log)
{
    char name[128];
    SanitizeFileName(name, sizeof(name), config->description);
    if (!CheckJoinedPathLength(folder260, name, 260, log))
        return 0;
    strcat(folder260, name);
    if (name[0] != '\0')
        strcat(folder260, "\\");
    return 1;
}
