// Which files a request may make the host write. The host runs at the highest available level
// while the request file lies in the user's own data folder, so a request taken at its word
// could point an elevated process at any file. kv64dll names only its fixed files in that
// folder, and the host takes nothing else.
#pragma once
#include <stddef.h>

#include "HostRequestFile.h"

// The host's own log: the data folder's "VSSLog2.txt", which line 1 must name. False when
// the path does not fit into out.
bool FormatHostLogPath(const char *dataFolder, char *out, size_t size);

// False when the data folder is a link (junction or symbolic link) to another place, which
// would carry every file written there along with it.
bool IsDataFolderPlain(const char *dataFolder);

// Checks lines 1, 3, 4 and 7 of request against the data folder's "VSSLog2.txt",
// "VSScom2.txt", "VSScom3.txt" and "VSSLog.txt". Returns 0 when each names its file, else the
// number of the first line that does not, with the file it should name in expected (size > 0).
int FindForeignRequestLine(const char *dataFolder, const HostRequest &request, char *expected, size_t size);
