#include "CompressionLog.h"

#include <stdarg.h>

#include "MsvcrtFormat.h"

CompressionLog::CompressionLog(const char *logPath, bool verbose) : verbose_(verbose)
{
    if (logPath && logPath[0])
        file_ = fopen(logPath, "a");
}

CompressionLog::~CompressionLog()
{
    if (file_)
        fclose(file_);
}

void CompressionLog::Write(const char *format, ...)
{
    if (!file_)
        return;
    va_list args;
    va_start(args, format);
    WriteTextV(file_, format, args);
    va_end(args);
    // The job may end abruptly after a failure; what was logged so far should be on disk.
    fflush(file_);
}

void CompressionLog::Detail(const char *format, ...)
{
    if (!file_ || !verbose_)
        return;
    va_list args;
    va_start(args, format);
    WriteTextV(file_, format, args);
    va_end(args);
}
