// The text files through which kv64dll and kv64wrap talk. A writer creates or truncates the
// file, writes its lines and closes it at once; a reader opens it in a mode that fails while
// the other process still has it open for writing, so a half-written file reads as absent.
#pragma once
#include <stddef.h>

struct FileCheck;

// Reads the first line (at most 9 characters, line end removed) into line (size > 0).
// False when the file does not open or its first line is missing or empty: not yet written.
bool ReadExchangeFirstLine(const char *path, char *line, size_t size);

// Reads the first line as a decimal number; false when not yet written.
bool ReadExchangeNumber(const char *path, int *value);

// Makes the file anew (CheckedFile.h) and writes "%d\n", waiting out a reader that holds it for
// about half a second; false when it cannot be written, with check saying whether it was refused.
bool WriteExchangeNumber(const char *path, int value, FileCheck *check);

// A decimal integer: optional sign and leading digits; text without digits reads 0.
int ParseExchangeNumber(const char *text);
