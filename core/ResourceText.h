// Texts of the program's string table.
#pragma once
#include <windows.h>

// Loads string `id` of the running program into `out` (always terminated). Returns its length,
// 0 when the string is missing.
int LoadResourceText(UINT id, char *out, int outSize);
