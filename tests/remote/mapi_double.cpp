// A recording stand-in for MAPI32.DLL beside the test program (loaded with
// WINEDLLOVERRIDES=mapi32=n). Each call appends a line to the file named by
// VELLORAN_MAPI_RECORD; VELLORAN_MAPI_LOGON and VELLORAN_MAPI_SEND give the results, and
// VELLORAN_MAPI_SEND=raise makes MAPISendMail raise an access violation.
#include <windows.h>
#include <mapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

void Record(const std::string &line)
{
    char path[MAX_PATH];
    if (GetEnvironmentVariableA("VELLORAN_MAPI_RECORD", path, sizeof(path)) == 0)
        return;
    FILE *file = fopen(path, "ab");
    if (file == nullptr)
        return;
    fputs((line + "\n").c_str(), file);
    fclose(file);
}

std::string Setting(const char *name)
{
    char value[64] = "";
    GetEnvironmentVariableA(name, value, sizeof(value));
    return value;
}

std::string Text(const char *text)
{
    return text != nullptr ? text : "(null)";
}

} // namespace

extern "C" {

ULONG WINAPI MAPILogon(ULONG_PTR, LPSTR profile, LPSTR password, FLAGS flags, ULONG, LPLHANDLE session)
{
    Record("logon profile=" + Text(profile) + " password=" + Text(password) + " flags=" + std::to_string(flags));
    *session = 0x1234;
    return (ULONG)atoi(Setting("VELLORAN_MAPI_LOGON").c_str());
}

ULONG WINAPI MAPILogoff(LHANDLE session, ULONG_PTR, FLAGS, ULONG)
{
    Record("logoff session=" + std::to_string(session));
    return 0;
}

ULONG WINAPI MAPISendMail(LHANDLE session, ULONG_PTR, lpMapiMessage message, FLAGS flags, ULONG)
{
    std::string line = "send session=" + std::to_string(session) + " flags=" + std::to_string(flags) +
                       " subject=" + Text(message->lpszSubject) + " recipients=";
    for (ULONG i = 0; i < message->nRecipCount; ++i)
        line += "[" + std::to_string(message->lpRecips[i].ulRecipClass) + "|" + Text(message->lpRecips[i].lpszName) +
                "|" + Text(message->lpRecips[i].lpszAddress) + "]";
    line += " files=";
    for (ULONG i = 0; i < message->nFileCount; ++i)
        line += "[" + std::to_string((long)message->lpFiles[i].nPosition) + "|" +
                Text(message->lpFiles[i].lpszPathName) + "|" + Text(message->lpFiles[i].lpszFileName) + "]";
    Record(line);
    Record("text=" + Text(message->lpszNoteText));
    std::string result = Setting("VELLORAN_MAPI_SEND");
    if (result == "raise")
        *(volatile int *)nullptr = 1;
    return (ULONG)atoi(result.c_str());
}

ULONG WINAPI MAPISendDocuments(ULONG_PTR, LPSTR, LPSTR, LPSTR, ULONG) { return 0; }
ULONG WINAPI MAPIFindNext(LHANDLE, ULONG_PTR, LPSTR, LPSTR, FLAGS, ULONG, LPSTR) { return 0; }
ULONG WINAPI MAPIReadMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiMessage *) { return 0; }
ULONG WINAPI MAPISaveMail(LHANDLE, ULONG_PTR, lpMapiMessage, FLAGS, ULONG, LPSTR) { return 0; }
ULONG WINAPI MAPIDeleteMail(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG) { return 0; }
ULONG WINAPI MAPIFreeBuffer(LPVOID) { return 0; }
ULONG WINAPI MAPIAddress(LHANDLE, ULONG_PTR, LPSTR, ULONG, LPSTR, ULONG, lpMapiRecipDesc, FLAGS, ULONG, LPULONG,
                         lpMapiRecipDesc *) { return 0; }
ULONG WINAPI MAPIDetails(LHANDLE, ULONG_PTR, lpMapiRecipDesc, FLAGS, ULONG) { return 0; }
ULONG WINAPI MAPIResolveName(LHANDLE, ULONG_PTR, LPSTR, FLAGS, ULONG, lpMapiRecipDesc *) { return 0; }
}
