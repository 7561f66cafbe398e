#include "LongPath.h"

#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "TextConversion.h"
#include "TextHelpers.h"

static bool HasPrefix(const wchar_t *path)
{
    return wcsncmp(path, L"\\\\?\\", 4) == 0 || wcsncmp(path, L"\\\\.\\", 4) == 0;
}

static wchar_t *CopyWide(const wchar_t *text)
{
    size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
    wchar_t *copy = (wchar_t *)malloc(bytes);
    if (copy != nullptr)
        memcpy(copy, text, bytes);
    return copy;
}

// Length of the root of a full path: "X:\" or "\\server\share\"; 0 for any other path.
static size_t FullPathRootLength(const wchar_t *path)
{
    wchar_t drive = (wchar_t)(path[0] | 0x20);
    if (drive >= L'a' && drive <= L'z' && path[1] == L':' && path[2] == L'\\')
        return 3;
    if (path[0] != L'\\' || path[1] != L'\\' || path[2] == L'\0' || path[2] == L'\\')
        return 0;
    const wchar_t *server = wcschr(path + 2, L'\\');
    if (server == nullptr || server[1] == L'\0' || server[1] == L'\\')
        return 0;
    const wchar_t *share = wcschr(server + 1, L'\\');
    return share != nullptr ? (size_t)(share - path) + 1 : 0;
}

// Calls visit(component, length) for each component after the root, empty ones included.
template <typename Visit>
static void ForEachComponent(const wchar_t *path, Visit visit)
{
    const wchar_t *start = path;
    for (const wchar_t *p = path;; ++p) {
        if (*p == L'\\' || *p == L'\0') {
            visit(start, (size_t)(p - start));
            if (*p == L'\0')
                return;
            start = p + 1;
        }
    }
}

static bool IsDotComponent(const wchar_t *component, size_t length)
{
    return (length == 1 && component[0] == L'.') || (length == 2 && component[0] == L'.' && component[1] == L'.');
}

// A full path the system would take as it stands: nothing to normalise, so the prefix can go
// straight in front and keeps every name as it is.
static bool IsPlainFullPath(const wchar_t *path)
{
    size_t root = FullPathRootLength(path);
    if (root == 0 || wcschr(path, L'/') != nullptr)
        return false;
    bool plain = true;
    const wchar_t *end = path + wcslen(path);
    ForEachComponent(path + root, [&](const wchar_t *component, size_t length) {
        // Only the last component may be empty: that of a folder path ending in "\\".
        if (IsDotComponent(component, length) || (length == 0 && component + length != end))
            plain = false;
    });
    return plain;
}

// The names the system reads as devices wherever they stand, with or without an extension.
static bool IsDeviceName(const wchar_t *component, size_t length)
{
    size_t base = 0;
    while (base < length && component[base] != L'.')
        ++base;
    while (base > 0 && component[base - 1] == L' ')
        --base;
    static const wchar_t *const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (const wchar_t *device : kDevices)
        if (base == wcslen(device) && _wcsnicmp(component, device, base) == 0)
            return true;
    return base == 4 && (_wcsnicmp(component, L"COM", 3) == 0 || _wcsnicmp(component, L"LPT", 3) == 0) &&
           component[3] >= L'1' && component[3] <= L'9';
}

// A name that the system's path parsing would change: a trailing dot or space is dropped, and
// a device name such as "aux.txt" is taken for the device.
static bool IsMisreadName(const wchar_t *component, size_t length)
{
    if (length == 0 || IsDotComponent(component, length))
        return false;
    wchar_t last = component[length - 1];
    return last == L'.' || last == L' ' || IsDeviceName(component, length);
}

// The prefix switches off the system's own path parsing, so the path must be full already.
static wchar_t *MakeFullPath(const wchar_t *path)
{
    if (IsPlainFullPath(path))
        return CopyWide(path);
    DWORD needed = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (needed == 0)
        return CopyWide(path);
    wchar_t *full = (wchar_t *)malloc((size_t)needed * sizeof(wchar_t));
    if (full == nullptr)
        return nullptr;
    DWORD length = GetFullPathNameW(path, needed, full, nullptr);
    if (length == 0 || length >= needed) {
        free(full);
        return CopyWide(path);
    }
    return full;
}

wchar_t *MakeLongPath(const wchar_t *path)
{
    if (HasPrefix(path))
        return CopyWide(path);
    wchar_t *full = MakeFullPath(path);
    if (full == nullptr)
        return nullptr;
    bool unc = wcslen(full) > 2 && full[0] == L'\\' && full[1] == L'\\';
    const wchar_t *prefix = unc ? L"\\\\?\\UNC\\" : L"\\\\?\\";
    const wchar_t *rest = unc ? full + 2 : full;
    size_t chars = wcslen(prefix) + wcslen(rest) + 1;
    wchar_t *result = (wchar_t *)malloc(chars * sizeof(wchar_t));
    if (result != nullptr) {
        wcscpy(result, prefix);
        wcscat(result, rest);
    }
    free(full);
    return result;
}

bool NeedsLongPath(const wchar_t *path)
{
    if (wcslen(path) >= kLongPathLimit)
        return true;
    size_t root = FullPathRootLength(path);
    if (root == 0 || !IsPlainFullPath(path))
        return false;
    bool misread = false;
    ForEachComponent(path + root, [&](const wchar_t *component, size_t length) {
        misread = misread || IsMisreadName(component, length);
    });
    return misread;
}

BOOL CopyFileLong(const wchar_t *existingPath, const wchar_t *newPath)
{
    if (!NeedsLongPath(existingPath) && !NeedsLongPath(newPath))
        return CopyFileW(existingPath, newPath, FALSE);
    wchar_t *longExisting = MakeLongPath(existingPath);
    wchar_t *longNew = MakeLongPath(newPath);
    BOOL copied = FALSE;
    if (longExisting != nullptr && longNew != nullptr)
        copied = CopyFileW(longExisting, longNew, FALSE);
    free(longExisting);
    free(longNew);
    return copied;
}

// Calls `operation` with the path, or with its prefixed form when it is long.
template <typename Result, typename Operation>
static Result WithLongPath(const wchar_t *path, Result failure, Operation operation)
{
    if (!NeedsLongPath(path))
        return operation(path);
    wchar_t *longPath = MakeLongPath(path);
    if (longPath == nullptr)
        return failure;
    Result result = operation(longPath);
    free(longPath);
    return result;
}

BOOL DeleteFileLong(const wchar_t *path)
{
    return WithLongPath(path, (BOOL)FALSE, [](const wchar_t *p) { return DeleteFileW(p); });
}

BOOL RemoveDirectoryLong(const wchar_t *path)
{
    return WithLongPath(path, (BOOL)FALSE, [](const wchar_t *p) { return RemoveDirectoryW(p); });
}

BOOL SetFileAttributesLong(const wchar_t *path, DWORD attributes)
{
    return WithLongPath(path, (BOOL)FALSE,
                        [attributes](const wchar_t *p) { return SetFileAttributesW(p, attributes); });
}

DWORD GetFileAttributesLong(const wchar_t *path)
{
    return WithLongPath(path, (DWORD)INVALID_FILE_ATTRIBUTES,
                        [](const wchar_t *p) { return GetFileAttributesW(p); });
}

BOOL GetFileAttributesExLong(const wchar_t *path, WIN32_FILE_ATTRIBUTE_DATA *data)
{
    return WithLongPath(path, (BOOL)FALSE, [data](const wchar_t *p) {
        return GetFileAttributesExW(p, GetFileExInfoStandard, data);
    });
}

HANDLE FindFirstFileLong(const wchar_t *pattern, WIN32_FIND_DATAW *data)
{
    return WithLongPath(pattern, INVALID_HANDLE_VALUE,
                        [data](const wchar_t *p) { return FindFirstFileW(p, data); });
}

int IsDirectory(const wchar_t *path)
{
    DWORD attributes = GetFileAttributesLong(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

bool IsNotFoundError(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

DWORD ExpandToLongPathName(const char *path, char *out1024)
{
    wchar_t *wide = AnsiToWideAlloc(path);
    wchar_t *prefixed = wide != nullptr ? MakeLongPath(wide) : nullptr;
    wchar_t *longForm = (wchar_t *)malloc(1024 * sizeof(wchar_t));
    DWORD count = 0;
    if (prefixed != nullptr && longForm != nullptr) {
        count = GetLongPathNameW(prefixed, longForm, 1024);
        if (count >= 1 && count <= 1023) {
            wchar_t *output = longForm;
            wchar_t unc[1026];
            if (_wcsnicmp(longForm, L"\\\\?\\UNC\\", 8) == 0) {
                unc[0] = L'\\';
                lstrcpynW(unc + 1, longForm + 7, 1024);
                output = unc;
            } else if (wcsncmp(longForm, L"\\\\?\\", 4) == 0) {
                output = longForm + 4;
            }
            WideToAnsiBuffer(out1024, 1024, output);
        }
    }
    free(wide);
    free(prefixed);
    free(longForm);
    return count;
}

wchar_t *MakeFilePathFromAnsi(const char *path)
{
    wchar_t *wide = AnsiToWideAlloc(path);
    if (wide == nullptr || !NeedsLongPath(wide))
        return wide;
    wchar_t *prefixed = MakeLongPath(wide);
    free(wide);
    return prefixed;
}
