#include "FtpUpload.h"

#include <string.h>

#include <memory>
#include <string>

#include "ErrorReport.h"
#include "FtpCall.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"

int SendFtpCommand(HINTERNET connection, const char *command)
{
    std::string text(command);
    bool worked = false;
    RunFtpCall([=] { return FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_ASCII, text.c_str(), 0, nullptr) != FALSE; },
               nullptr, &worked);
    return worked ? 1 : 0;
}

int ReadFtpResponse(char *text, DWORD textSize)
{
    return TakeLastFtpReply(text, textSize) ? 1 : 0;
}

HINTERNET OpenFtpFileForWriting(HINTERNET connection, const char *remotePath)
{
    auto file = std::make_shared<HINTERNET>(nullptr);
    std::string path(remotePath);
    bool worked = false;
    RunFtpCall(
        [=] {
            *file = FtpOpenFileA(connection, path.c_str(), GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
            return *file != nullptr;
        },
        [=] {
            if (*file != nullptr)
                InternetCloseHandle(*file);
        },
        &worked);
    return worked ? *file : nullptr;
}

void CloseFtpFile(HINTERNET file)
{
    bool worked = false;
    RunFtpCall([=] { return InternetCloseHandle(file) != FALSE; }, nullptr, &worked);
}

int LogFtpResponse(const char *label, FILE *log)
{
    char reply[2048];
    if (log == nullptr || !ReadFtpResponse(reply, sizeof(reply)))
        return 0;
    WriteText(log, "%s: %s\n", label, reply);
    return 1;
}

int ShowFtpResponse(HWND owner)
{
    char reply[2048];
    if (owner == nullptr || !ReadFtpResponse(reply, sizeof(reply)))
        return 0;
    ShowMessageBox(owner, reply, "FtpOpenFile", MB_OK);
    return 1;
}

int ProbeFtpRestart(HINTERNET connection, FILE *log)
{
    if (connection == nullptr || log == nullptr)
        return 0;
    if (!SendFtpCommand(connection, "TYPE I")) {
        if (GetLastError() == ERROR_INTERNET_OPERATION_CANCELLED)
            return 0;  // the job was stopped: no failure of the server's to log
        LogLastError("FTP Command for Binary mode", log);
        WriteText(log, "'TYPE I' command failed\n");
    }
    if (gSettings.logVerbose)
        LogFtpResponse("'TYPE I' Command", log);
    if (!SendFtpCommand(connection, "REST 0")) {
        if (GetLastError() == ERROR_INTERNET_OPERATION_CANCELLED)
            return 0;
        LogLastError("FTP Command for Restart", log);
        WriteText(log, "'REST 0' command failed\n");
        return 0;
    }
    if (gSettings.logVerbose)
        LogFtpResponse("'REST 0' Command", log);
    char reply[2048];
    if (ReadFtpResponse(reply, sizeof(reply)) && strstr(reply, "350") != nullptr) {
        if (gSettings.logVerbose)
            WriteText(log, "Restart supported by this FTP server\n");
        return 1;
    }
    if (gSettings.logVerbose)
        WriteText(log, "Restart is not supported by this FTP server\n");
    return 0;
}
