// Wide-character file operations that pass paths of 260 characters or more with the
// extended-length prefix ("\\?\" or "\\?\UNC\"), and shorter paths unchanged.
#pragma once
#include <windows.h>

const size_t kLongPathLimit = 260;

// New heap string (free with free()) in prefixed form, whatever the length; a relative path or
// one with "." or ".." parts is made full first, and a path that already has a prefix is kept.
// NULL when memory ran out.
wchar_t *MakeLongPath(const wchar_t *path);
bool NeedsLongPath(const wchar_t *path);

BOOL CopyFileLong(const wchar_t *existingPath, const wchar_t *newPath);
BOOL DeleteFileLong(const wchar_t *path);
BOOL RemoveDirectoryLong(const wchar_t *path);
BOOL SetFileAttributesLong(const wchar_t *path, DWORD attributes);
DWORD GetFileAttributesLong(const wchar_t *path);
BOOL GetFileAttributesExLong(const wchar_t *path, WIN32_FILE_ATTRIBUTE_DATA *data);
HANDLE FindFirstFileLong(const wchar_t *pattern, WIN32_FIND_DATAW *data);
int IsDirectory(const wchar_t *path);

// Long form of an ANSI path into a 1,024-byte buffer (may be the path's own buffer); returns
// GetLongPathNameW's count, 0 on failure (the output is then unchanged).
DWORD ExpandToLongPathName(const char *path, char *out1024);
