// Giving a mirror item the spelling of its source after the user renamed it by letter case only.
#pragma once
#include <stdio.h>
#include <wchar.h>

// Renames folder + oldName to folder + newName (folder ends in "\\"), names that differ only in
// case. 1 when renamed; a failure is logged and leaves the item under its old name.
int RenameToSourceCase(const wchar_t *folder, const wchar_t *oldName, const wchar_t *newName, FILE *log);
