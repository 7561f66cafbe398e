// Wide-character file operations that pass paths of 260 characters or more with the
// extended-length prefix ("\\?\" or "\\?\UNC\"), and shorter paths unchanged, except those
// holding a name that the system's path parsing would misread (a trailing dot or space, a
// device name such as "aux.txt"): those go with the prefix too, so that they reach the file
// the walk found and not another one.
#pragma once
#include <windows.h>

const size_t kLongPathLimit = 260;

// New heap string (free with free()) in prefixed form, whatever the length; a relative path or
// one with "." or ".." parts (or slashes, or empty parts) is made full first, a full path is
// prefixed as it stands, and a path that already has a prefix is kept. NULL when memory ran out.
wchar_t *MakeLongPath(const wchar_t *path);
// True when the path goes with the prefix: 260 characters or more, or a full path holding a
// name the system would misread.
bool NeedsLongPath(const wchar_t *path);
// New heap string (free with free()): the wide form of an ANSI path, prefixed when it goes with
// the prefix. NULL when memory ran out.
wchar_t *MakeFilePathFromAnsi(const char *path);

BOOL CopyFileLong(const wchar_t *existingPath, const wchar_t *newPath);
BOOL DeleteFileLong(const wchar_t *path);
BOOL RemoveDirectoryLong(const wchar_t *path);
BOOL SetFileAttributesLong(const wchar_t *path, DWORD attributes);
DWORD GetFileAttributesLong(const wchar_t *path);
BOOL GetFileAttributesExLong(const wchar_t *path, WIN32_FILE_ATTRIBUTE_DATA *data);
HANDLE FindFirstFileLong(const wchar_t *pattern, WIN32_FIND_DATAW *data);
int IsDirectory(const wchar_t *path);
// The errors that say a name or a folder on its path is not there.
bool IsNotFoundError(DWORD error);

// Long form of an ANSI path into a 1,024-byte buffer (may be the path's own buffer); returns
// GetLongPathNameW's count, 0 on failure (the output is then unchanged).
DWORD ExpandToLongPathName(const char *path, char *out1024);
