#include "CompressionLog.h"

#include <stdarg.h>

#include "CheckedFile.h"
#include "LogStream.h"
#include "MsvcrtFormat.h"

CompressionLog::CompressionLog(const char *logPath, bool verbose) : verbose_(verbose)
{
    if (!logPath || !logPath[0])
        return;
    // The program runs elevated and the log lies in the user's data folder: it is written only
    // through a handle seen to be what it seems (CheckedFile.h).
    FileCheck check;
    file_ = OpenCheckedStream(logPath, "a", FILE_SHARE_READ | FILE_SHARE_WRITE, &check);
    LogFileCheck(file_, check, logPath);
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
