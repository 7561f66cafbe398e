// The configuration store "configs.vlr": a 16-byte header, the records, then each record's
// arrays. Versions 1 and 2 are converted on reading and written back as version 3.
#pragma once
#include <windows.h>

// Magic "vlr", a byte kept as read, and the version (little-endian), as they lie in the file.
extern unsigned char storeHeader[8];

int LoadConfigStore(HWND owner);
int SaveConfigStore(HWND owner);
int CreateEmptyConfigStore(HWND owner);

// The store is written here first and moved over storePath once complete.
void GetStoreTempPath(char *out, size_t outSize);

struct FileCheck;
// Shows the line of a check that refused a file of the store (CheckedFile.h); false when the
// check has nothing to say, and the caller reports the failure in its own words.
bool ReportUnwrittenFile(HWND owner, const FileCheck &check, const char *path);
