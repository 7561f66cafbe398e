#include "Winsock.h"

#include <winsock2.h>

#include "MsvcrtFormat.h"

int StartWinsock(FILE *log)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        if (log != nullptr)
            WriteText(log, "WSAStartup Error: %d\n", WSAGetLastError());
        return 0;
    }
    if (data.wVersion != MAKEWORD(2, 2)) {
        if (log != nullptr)
            WriteText(log, "Required winsock version unavailable.\n");
        StopWinsock(log);
        return 0;
    }
    return 1;
}

int StopWinsock(FILE *log)
{
    if (WSACleanup() == 0)
        return 1;
    if (log != nullptr)
        WriteText(log, "Failed to unload winsock: %d\n", WSAGetLastError());
    return 0;
}
