#include "FtpUpload.h"

#include <string.h>

#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"

int SendFtpCommand(HINTERNET connection, const char *command)
{
    return FtpCommandA(connection, FALSE, FTP_TRANSFER_TYPE_ASCII, command, 0, nullptr) ? 1 : 0;
}

int ReadFtpResponse(char *text, DWORD textSize)
{
    DWORD error = 0;
    DWORD length = textSize;
    text[0] = '\0';
    if (!InternetGetLastResponseInfoA(&error, text, &length))
        return 0;
    text[textSize - 1] = '\0';
    return 1;
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
        LogLastError("FTP Command for Binary mode", log);
        WriteText(log, "'TYPE I' command failed\n");
    }
    if (gSettings.logVerbose)
        LogFtpResponse("'TYPE I' Command", log);
    if (!SendFtpCommand(connection, "REST 0")) {
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
