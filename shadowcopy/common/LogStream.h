// A line-oriented text log (text mode, so CR LF on disk). Every line is flushed at once, so
// that the log is complete even when the process is ended from outside.
#pragma once
#include <stdarg.h>
#include <stdio.h>

// Writes one formatted line to log; does nothing when log is null.
void WriteLogLine(FILE *log, const char *format, ...);
void WriteLogLineV(FILE *log, const char *format, va_list args);
