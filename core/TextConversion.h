// Conversions between the ANSI code page and UTF-16, always bounded and terminated.
#pragma once
#include <stddef.h>
#include <wchar.h>

// New heap copies (free with free()); NULL when memory ran out or the conversion failed.
wchar_t *AnsiToWideAlloc(const char *text);
char *WideToAnsiAlloc(const wchar_t *text);

// Writes into a caller's buffer of 1,024 wide characters; returns 0.
int AnsiToWideBuffer(wchar_t *out, const char *text);
// Writes at most outSize - 1 bytes and the terminator; returns 0.
int WideToAnsiBuffer(char *out, size_t outSize, const wchar_t *text);

const size_t kWideBufferChars = 1024;
