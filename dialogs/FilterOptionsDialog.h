// Dialog 149 "Filter Options" on a configuration: the extension filter, skipping hidden and
// system files, and the excluded items; with the extension dialog 425 and the two warnings
// 156 and 427 shown while an excluded item is added.
#pragma once
#include <windows.h>

#include "BackupConfig.h"

// Opens dialog 149 on the editor's working copy; non-zero when a value changed.
int OpenFilterOptions(HWND owner);

INT_PTR CALLBACK FilterOptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Parameter: a 9-byte buffer holding the extension with its dot (empty for a new one), which
// receives the new one; the result is 1 when it changed.
INT_PTR CALLBACK ExtensionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Parameter: the item's path. 156 ends with 1 for Yes and 0 for No; 427 with 1.
INT_PTR CALLBACK ExcludedOutsideSourceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK IllegalExcludedItemDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The extension dialog's rule for what was typed (up to 8 characters): into `out` (9 bytes)
// ".ext" in lower case and NULL, or the message that refuses it.
const char *NormalizeExtension(const char *typed, char *out);

enum class ExcludedItemPlace {
    Refused,         // a source lies in it or is it: never added
    OutsideSources,  // in no source: asked about while the warnings are on
    InsideSource,
};
ExcludedItemPlace PlaceExcludedItem(const BackupConfig &config, const char *item);
