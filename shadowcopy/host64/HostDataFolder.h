// The data folder, the application-data folder plus "Velloran\", created when missing.
#pragma once
#include <stddef.h>

// Writes the folder with a trailing backslash into out (size > 0). Returns 0, or the exit
// code kHostNoAppData or kHostNoDataFolder. The current folder is left as it was.
int FindHostDataFolder(char *out, size_t size);
