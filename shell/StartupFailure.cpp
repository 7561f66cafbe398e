#include "StartupFailure.h"

#include <string.h>

#include "ErrorReport.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"

namespace {

char failureText[256] = "";
DWORD failureError = 0;
bool failureTold = false;
bool failed = false;

// A GUI program has a standard error only when its starter gave it one (a console, a file, a pipe).
void WriteStandardError(const char *line)
{
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(handle, line, (DWORD)strlen(line), &written, nullptr);
}

} // namespace

void NoteStartupFailure(const char *what, DWORD error, bool told)
{
    if (failed)
        return;
    failed = true;
    FormatText(failureText, sizeof(failureText), "%s", what);
    failureError = error;
    failureTold = told;
}

bool StartupFailed()
{
    return failed;
}

int ReportStartupFailure()
{
    char reason[512] = "";
    if (failureError != 0) {
        char errorText[256];
        GetErrorText(failureError, errorText, sizeof(errorText));
        // The system's text ends with a line break.
        size_t length = strlen(errorText);
        while (length > 0 && (errorText[length - 1] == '\r' || errorText[length - 1] == '\n'))
            errorText[--length] = '\0';
        FormatText(reason, sizeof(reason), " (error %lu%s%s)", failureError, length > 0 ? ": " : "", errorText);
    }
    char line[1024];
    FormatText(line, sizeof(line), "%s: %s%s\r\n", kProductName, failureText, reason);
    WriteStandardError(line);
    if (!failureTold) {
        char message[1024];
        FormatText(message, sizeof(message), "%s%s.\n\n%s cannot start.", failureText, reason, kProductName);
        // Under Wine without a display not even a message box can be shown.
        if (ShowMessageBox(nullptr, message, kProductName, MB_ICONERROR) <= 0) {
            FormatText(line, sizeof(line), "%s: no window can be shown; is there a display?\r\n", kProductName);
            WriteStandardError(line);
        }
    }
    return kStartupFailedExitCode;
}

void ResetStartupFailureForTesting()
{
    failed = false;
    failureText[0] = '\0';
    failureError = 0;
    failureTold = false;
}
