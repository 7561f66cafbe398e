#include "LogStream.h"

#include <stdarg.h>

#include "MsvcrtFormat.h"

void WriteLogLine(FILE *log, const char *format, ...)
{
    if (log == nullptr)
        return;
    va_list args;
    va_start(args, format);
    WriteTextV(log, format, args);
    va_end(args);
    fflush(log);
}
