// The one exclusion rule of the whole engine: sizes, the mirror copy, the deleted-files and
// exclusion passes and the ZIP lists all ask here.
#pragma once
#include <wchar.h>

struct BackupConfig;

// True when an excluded item names the path or one of its parent folders, ignoring case.
// Items match whole path components: "D:\data" excludes "D:\data" and "D:\data\x" but not
// "D:\database"; an item stored with its trailing "\" excludes only what lies inside.
// An empty item excludes nothing.
bool IsExcluded(const wchar_t *path, const BackupConfig *config);
// The same component rule for one prefix: true when prefix is path itself or a folder of it.
bool IsPathWithin(const wchar_t *path, const wchar_t *prefix);
