#include "ErrorReport.h"

#include <wininet.h>

#include <atomic>

#include "Clock.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "ResourceText.h"

int MessageBoxFromResource(HWND owner, UINT stringId, UINT type)
{
    char text[356];
    LoadResourceText(stringId, text, sizeof(text));
    return ShowMessageBox(owner, text, kProductName, type);
}

bool IsWinInetError(DWORD code)
{
    return code >= 12000 && code <= 12192;
}

void GetErrorText(DWORD code, char *out, DWORD outSize)
{
    out[0] = '\0';
    DWORD length;
    if (IsWinInetError(code)) {
        length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
                                GetModuleHandleA("wininet.dll"), code, 0, out, outSize, nullptr);
    } else {
        length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, out, outSize, nullptr);
    }
    if (length == 0 || length >= outSize)
        out[length == 0 ? 0 : outSize - 1] = '\0';
}

static bool ReadWinInetReply(DWORD *number, char *text, DWORD textSize)
{
    DWORD length = textSize - 1;
    if (!InternetGetLastResponseInfoA(number, text, &length))
        return false;
    text[length < textSize ? length : textSize - 1] = '\0';
    return true;
}

static std::atomic<ServerReplySource> g_replySource(ReadWinInetReply);

void SetServerReplySource(ServerReplySource source)
{
    g_replySource.store(source != nullptr ? source : ReadWinInetReply);
}

// The server's last answer behind WinINet's extended error 12003.
static bool GetExtendedError(DWORD *number, char *text, DWORD textSize)
{
    text[0] = '\0';
    return g_replySource.load()(number, text, textSize);
}

DWORD ShowLastError(HWND owner)
{
    DWORD code = GetLastError();
    char text[512];
    char message[1024];
    GetErrorText(code, text, sizeof(text));
    if (!IsWinInetError(code)) {
        FormatText(message, sizeof(message), "ERROR: %s", text);
        ShowMessageBox(owner, message, kProductName, MB_OK);
        return code;
    }
    FormatText(message, sizeof(message), "ERROR: WinInet error code: %d\nMessage: %s", (int)code, text);
    ShowMessageBox(owner, message, kProductName, MB_OK);
    if (code != ERROR_INTERNET_EXTENDED_ERROR)
        return code;
    DWORD number = 0;
    char extended[512];
    if (GetExtendedError(&number, extended, sizeof(extended))) {
        FormatText(message, sizeof(message), "Extended error #: %d\nExtended error message: %s",
                   (int)number, extended);
    } else {
        GetErrorText(ERROR_INTERNET_EXTENDED_ERROR, text, sizeof(text));
        FormatText(message, sizeof(message), "Unable to get extended error info: %s", text);
    }
    ShowMessageBox(owner, message, kProductName, MB_OK);
    return code;
}

void ShowSystemErrorMessage(HWND owner, DWORD code)
{
    char *text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), (LPSTR)&text, 0, nullptr);
    ShowMessageBox(owner, text != nullptr ? text : "", kProductName, MB_ICONINFORMATION);
    if (text != nullptr)
        LocalFree(text);
}

DWORD LogLastError(const char *title, FILE *log)
{
    DWORD code = GetLastError();
    SYSTEMTIME now;
    GetLocalNow(&now);
    char time[64] = "";
    if (GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time, sizeof(time)) == 0)
        time[0] = '\0';
    if (log == nullptr)
        return code;
    char text[512];
    GetErrorText(code, text, sizeof(text));
    WriteText(log, "== start_error\n%s:\n", title);
    if (IsWinInetError(code)) {
        WriteText(log, "ERROR at %s: WinInet error code: %d\n\tMessage: %s\n", time, (int)code, text);
        if (code == ERROR_INTERNET_EXTENDED_ERROR) {
            DWORD number = 0;
            char extended[512];
            if (GetExtendedError(&number, extended, sizeof(extended))) {
                WriteText(log, "\t\tExtended error #: %d\n\t\tExtended error message: %s\n",
                          (int)number, extended);
            } else {
                GetErrorText(ERROR_INTERNET_EXTENDED_ERROR, text, sizeof(text));
                WriteText(log, "\t\tUnable to get extended error info: %s\n", text);
            }
        }
    } else {
        WriteText(log, "ERROR at %s: %s\n", time, text);
    }
    WriteText(log, "== end_error\n");
    return code;
}
