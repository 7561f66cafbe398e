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

namespace {

// The Task Scheduler's own failures, as Windows words them. Wine's message tables hold none of
// them, and a scheduler whose service does not run answers with one.
const struct {
    DWORD code;
    const char *text;
} kTaskSchedulerTexts[] = {
    {0x80041309, "A task's trigger is not found.\r\n"},
    {0x8004130A, "One or more of the properties required to run this task have not been set.\r\n"},
    {0x8004130C, "The Task Scheduler service is not installed on this computer.\r\n"},
    {0x8004130D, "The task object could not be opened.\r\n"},
    {0x8004130E, "The object is either an invalid task object or is not a task object.\r\n"},
    {0x8004130F, "No account information could be found in the Task Scheduler security database for the task "
                 "indicated.\r\n"},
    {0x80041310, "Unable to establish existence of the account specified.\r\n"},
    {0x80041311, "Corruption was detected in the Task Scheduler security database; the database has been "
                 "reset.\r\n"},
    {0x80041314, "The task has been configured with an unsupported combination of account settings and run time "
                 "options.\r\n"},
    {0x80041315, "The Task Scheduler Service is not running.\r\n"},
};

void CopyTaskSchedulerText(DWORD code, char *out, DWORD outSize)
{
    for (const auto &entry : kTaskSchedulerTexts) {
        if (entry.code == code) {
            lstrcpynA(out, entry.text, (int)outSize);
            return;
        }
    }
}

}  // namespace

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
    if (out[0] == '\0')
        CopyTaskSchedulerText(code, out, outSize);
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
    char text[512];
    GetErrorText(code, text, sizeof(text));
    // A box must say what failed, also for a code the system has no text for.
    if (text[0] == '\0')
        FormatText(text, sizeof(text), "Error 0x%08X", (unsigned)code);
    ShowMessageBox(owner, text, kProductName, MB_ICONINFORMATION);
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
