#include "LogStream.h"

#include <stdarg.h>

#include "MsvcrtFormat.h"

void WriteLogLine(FILE *log, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLogLineV(log, format, args);
    va_end(args);
}

void WriteLogLineV(FILE *log, const char *format, va_list args)
{
    if (log == nullptr)
        return;
    WriteTextV(log, format, args);
    fflush(log);
}
