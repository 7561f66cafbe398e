#include "SmtpLog.h"

#include <windows.h>
#include <io.h>
#include <stdarg.h>
#include <string.h>

#include "CheckedFile.h"
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
    // The program runs elevated and the log lies in the user's data folder: it is written only
    // through a handle seen to be what it seems (CheckedFile.h).
    const DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    FileCheck check;
    file = OpenCheckedStream(path, "ab", kShare, &check);
    if (file != nullptr && _filelengthi64(_fileno(file)) > kLogLimit) {
        fclose(file);
        file = OpenCheckedStream(path, "wb", kShare, &check);
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    Line("==== %04d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    char checked[400];
    if (FormatFileCheck(check, path, checked, sizeof checked))
        Line("%.*s", (int)strcspn(checked, "\n"), checked);
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
