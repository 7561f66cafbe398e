#include "HostRequestPaths.h"

#include <windows.h>
#include <string.h>

#include "MsvcrtFormat.h"

namespace {

// A path that names the same file whatever the system makes of it: no alternate data stream,
// no "\\?\" or "\\.\" prefix that skips the system's own checks, and already in its full form,
// so that "..", ".", "/", trailing dots or blanks and device names (which the system turns
// into "\\.\CON" and the like) cannot lead anywhere else.
bool IsCanonicalPath(const char *path)
{
    if (strncmp(path, "\\\\?\\", 4) == 0 || strncmp(path, "\\\\.\\", 4) == 0)
        return false;
    if (strlen(path) > 2 && strchr(path + 2, ':') != nullptr)
        return false;
    char full[MAX_PATH] = "";
    DWORD length = GetFullPathNameA(path, sizeof full, full, nullptr);
    return length > 0 && length < sizeof full && strcmp(full, path) == 0;
}

// True when path is the data folder's file name (compared without regard to case).
bool NamesDataFile(const char *path, const char *dataFolder, const char *name, char *expected, size_t size)
{
    if (FormatText(expected, size, "%s%s", dataFolder, name) < 0)
        return false;
    return IsCanonicalPath(path) && _stricmp(path, expected) == 0;
}

}  // namespace

bool FormatHostLogPath(const char *dataFolder, char *out, size_t size)
{
    return FormatText(out, size, "%sVSSLog2.txt", dataFolder) >= 0;
}

bool IsDataFolderPlain(const char *dataFolder)
{
    // Asked with its trailing backslash, the system answers for the folder the link leads to.
    char folder[MAX_PATH] = "";
    if (FormatText(folder, sizeof folder, "%s", dataFolder) < 0)
        return false;
    size_t length = strlen(folder);
    if (length > 3 && folder[length - 1] == '\\')
        folder[length - 1] = '\0';
    DWORD attributes = GetFileAttributesA(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

int FindForeignRequestLine(const char *dataFolder, const HostRequest &request, char *expected, size_t size)
{
    struct Line {
        int number;
        const char *path;
        const char *name;
    };
    const Line lines[] = {
        {1, request.ownLog, "VSSLog2.txt"},
        {3, request.reply, "VSScom2.txt"},
        {4, request.release, "VSScom3.txt"},
        {7, request.libraryLog, "VSSLog.txt"},
    };
    for (const Line &line : lines)
        if (!NamesDataFile(line.path, dataFolder, line.name, expected, size))
            return line.number;
    expected[0] = '\0';
    return 0;
}
