// Names of the files that sit beside the shadow-copy library's log: each is the log path with
// its text from the first "VSSLog.txt" to the end replaced by another file name.
#pragma once
#include <stddef.h>

// Writes logPath with its "VSSLog.txt" tail replaced by fileName into out (size > 0).
// False when logPath holds no "VSSLog.txt" or the result does not fit.
bool DeriveExchangePath(const char *logPath, const char *fileName, char *out, size_t size);
