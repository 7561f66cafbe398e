#include "MailRoads.h"

#include <windows.h>
#include <string.h>

#include "BackupConfig.h"
#include "ConfigTable.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "MsvcrtFormat.h"
#include "TextHelpers.h"

const char *const kMakerWebSite = "https://www.velloran.example/";

void CopyField(char *field, size_t fieldSize, const char *text)
{
    lstrcpynA(field, text != nullptr ? text : "", (int)fieldSize);
}

void FillSendMailRequest(SendMailRequest *r, const SmtpSettings &s)
{
    CopyField(r->server, sizeof(r->server), s.server);
    r->port = (s.emailFlags & DefaultPort) ? -1 : s.port;
    if (s.emailFlags & UseAuthentication) {
        CopyField(r->user, sizeof(r->user), s.user);
        CopyField(r->password, sizeof(r->password), s.password);
        if (s.passwordScrambled)
            ScramblePassword(r->password);
    }
    CopyField(r->from, sizeof(r->from), s.from);
    CopyField(r->to, sizeof(r->to), s.to);
    r->verbose = gSettings.logVerbose;
    FormatText(r->logPath, sizeof(r->logPath), "%s%s", dataFolder, s.logName);
    r->errorText[0] = '\0';
    r->socketSlot = s.socketSlot;
    r->receiveTimeout = gSettings.emailRecvTimeout;
    r->sendTimeout = gSettings.emailSendTimeout;
    r->security = SecurityFromEmailFlags(s.emailFlags);
    r->percent = s.percent;
}

void WipeSendMailRequest(SendMailRequest *request)
{
    SecureZeroMemory(request->password, sizeof(request->password));
}

bool DescribeUnsafeMailField(const SendMailRequest *request, char *text, size_t textSize)
{
    MailTextField field;
    if (!FindUnsafeMailField(request, &field))
        return false;
    char value[257];
    size_t length = strnlen(field.text, field.size < sizeof(value) ? field.size : sizeof(value) - 1);
    memcpy(value, field.text, length);
    value[length] = '\0';
    char shown[sizeof(value) * 6];
    FormatOneLine(shown, sizeof(shown), value);
    FormatText(text, textSize,
               "E-mail %s holds a line break or NUL, which cannot go into an SMTP command; nothing was sent: %s",
               field.name, shown);
    return true;
}

int CheckMailFieldsForJob(FILE *log, const SendMailRequest *request, int codes)
{
    char text[2048];
    if (!DescribeUnsafeMailField(request, text, sizeof(text)))
        return 1;
    WriteText(log, "ERROR (%da): %s\n", 47 + codes, text);
    return 0;
}

int BindMailLibraryForJob(MailLibrary *library, FILE *log, int codes)
{
    switch (library->Bind()) {
    case MailLibraryResult::Bound:
        return 1;
    case MailLibraryResult::NoBackslash:
        LogLastError("No backslash GMFN", log);
        WriteText(log, "ERROR: No backslash GMFN\n");
        return 0;
    case MailLibraryResult::LoadFailed:
        LogLastError("Load Library", log);
        WriteText(log, "ERROR (%da): Unable to load tarnmail.dll\n", 43 + codes);
        return 0;
    case MailLibraryResult::NoFunction:
        LogLastError("Get Procedure Address", log);
        WriteText(log, "ERROR (%da): Failed to get tarnmail.dll functions\n", 44 + codes);
        return 0;
    }
    return 0;
}

void LogMimeFailure(FILE *log, MimeBuildResult result, const char *path, int codes)
{
    int code = 46 + codes;
    switch (result) {
    case MimeOutOfMemory:
        WriteText(log, "ERROR (%da): Memory allocation error while creating email body\n", code);
        break;
    case MimeSizeFailed:
        WriteText(log, "ERROR (%da): Failed to obtain size of attachment file: %s\n", code, path);
        break;
    case MimeOpenFailed:
        WriteText(log, "ERROR (%da): Failed to open attachment: %s\n", code, path);
        break;
    case MimeNoBackslash:
        WriteText(log, "ERROR (%da): Failed to find backslash: %s\n", code, path);
        break;
    default:
        break;
    }
}

int OpenMapiSession(SimpleMapiTable *mapi, MapiRecipients *recipients, const char *to, uint32_t emailFlags,
                    FILE *log, int codes)
{
    if (!LoadSimpleMapi(mapi)) {
        WriteText(log,
                  "ERROR (%da): Failed to initialize Simple MAPI.  Make sure you have a default email client enabled "
                  "that supports Simple MAPI.\n",
                  37 + codes);
        return 0;
    }
    char empty[1] = "";
    if (mapi->logon((ULONG_PTR)mainWindow, empty, empty, MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, &mapi->session) != 0) {
        mapi->session = 0;
        WriteText(log, "ERROR (%da): Failed to logon to Simple MAPI email client.\n", 38 + codes);
        return 0;
    }
    int failedSize = 0;
    switch (BuildMapiRecipients(recipients, to, (emailFlags & MapiPlainAddress) != 0, &failedSize)) {
    case RecipientsResult::Built:
        return 1;
    case RecipientsResult::ListFailed:
        WriteText(log, "ERROR (%da): Failed to allocate recipient memory (%d)\n", 39 + codes, recipients->count);
        return 0;
    case RecipientsResult::AddressFailed:
        WriteText(log, "ERROR (%da): Failed to allocate address memory (%d)\n", 40 + codes, failedSize);
        return 0;
    }
    return 0;
}

bool IsFinalSendMailCode(int32_t code)
{
    return code == 1 || code == 2 || code == 3 || code == 17;
}
