#include "SmtpLog.h"

#include <windows.h>
#include <stdarg.h>
#include <string.h>

#include "MsvcrtFormat.h"

namespace {

// A log larger than this is started afresh, so it never grows without end.
const long kLogLimit = 1024 * 1024;

std::string FirstLine(const char *data, size_t size)
{
    std::string line(data, size);
    size_t end = line.find_first_of("\r\n");
    return end == std::string::npos ? line : line.substr(0, end);
}

} // namespace

SmtpLog::SmtpLog(const char *path, bool verbose) : verbose(verbose)
{
    if (path == nullptr || path[0] == '\0')
        return;
    file = fopen(path, "ab");
    if (file != nullptr && ftell(file) > kLogLimit) {
        fclose(file);
        file = fopen(path, "wb");
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    Line("==== %04d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

SmtpLog::~SmtpLog()
{
    if (file != nullptr)
        fclose(file);
}

void SmtpLog::Line(const char *format, ...)
{
    if (file == nullptr)
        return;
    va_list args;
    va_start(args, format);
    WriteTextV(file, format, args);
    va_end(args);
    WriteText(file, "\r\n");
    fflush(file);
}

void SmtpLog::Dialogue(bool fromServer, const char *data, size_t size)
{
    std::string line = credentials.Mask(fromServer, FirstLine(data, size));
    if (fromServer)
        lastReply = line;
    if (verbose)
        Line("%s %s", fromServer ? "<" : ">", line.c_str());
}

void SmtpLog::Remark(const char *data, size_t size)
{
    if (verbose)
        Line("* %s", FirstLine(data, size).c_str());
}
