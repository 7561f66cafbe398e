// The extension filter of a configuration, shared by the mirror copy and the size calculation.
#pragma once
#include <stdint.h>
#include <wchar.h>

#include "BackupConfig.h"

// True when a file of this name is to be backed up: its extension (the text after the last
// ".", compared ignoring case) is listed and the filter includes listed extensions, or it is
// not listed (or the name has no ".") and the filter excludes them.
bool PassesExtensionFilter(const wchar_t *name, const ExtensionEntry *extensions, int extensionCount,
                           int32_t filterFlags);
// True when filterFlags skips an entry with these attributes (hidden or system).
bool IsSkippedByAttributes(uint32_t attributes, int32_t filterFlags);
