// Formatted text in the Windows C runtime's dialect. The program's log lines and messages use
// msvcrt's conversions ("%ws" for wide text, "%I64d" for 64-bit integers), but libstdc++ turns
// the standard printf names into mingw's own implementation, which knows neither. Every
// formatted string or stream line of the program therefore goes through these functions.
// Text of the other width ("%ws" in 8-bit output, "%S" in wide output) is converted through the
// ANSI code page, a character it lacks becoming '?', so a line is always written whole.
#pragma once
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>

// Formats into buffer (size bytes, size > 0) and always terminates it. Returns the length
// written, or -1 when the text did not fit (the buffer then holds the truncated text).
int FormatText(char *buffer, size_t size, const char *format, ...);
int FormatTextV(char *buffer, size_t size, const char *format, va_list args);

// Wide-character form of FormatText; size counts characters.
int FormatTextW(wchar_t *buffer, size_t size, const wchar_t *format, ...);

// Writes formatted text to a stream; returns the number of bytes written, or -1 on failure.
int WriteText(FILE *stream, const char *format, ...);
int WriteTextV(FILE *stream, const char *format, va_list args);
