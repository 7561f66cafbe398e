#include "CompressionLog.h"

#include <stdarg.h>

#include "LogStream.h"
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
    // Flushed at once: the job may end abruptly after a failure, and what was logged so far
    // should be on disk.
    va_list args;
    va_start(args, format);
    WriteLogLineV(file_, format, args);
    va_end(args);
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
