#include "JobResultMail.h"

#include <windows.h>
#include <stdlib.h>
#include <string.h>

#include "Calendar.h"
#include "CheckedFile.h"
#include "Clock.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "ErrorReport.h"
#include "GlobalSettings.h"
#include "MailRoads.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "Winsock.h"

namespace {

struct ResultMail {
    FILE *log;
    BackupConfig *config;
    char subject[256];
    char text[2048];
    char attachment[260];
};

int SendByMapi(ResultMail &mail, SimpleMapiTable *mapi, MapiRecipients *recipients)
{
    uint32_t flags = (uint32_t)gSettings.jrOptions;
    if (!OpenMapiSession(mapi, recipients, gSettings.jrEmailTo, flags, mail.log, kResultMailCodes))
        return 0;
    MapiFileDesc file = {};
    file.nPosition = (ULONG)-1;
    file.lpszPathName = mail.attachment;
    MapiMessage message = {};
    message.lpszSubject = mail.subject;
    message.lpszNoteText = mail.text;
    message.nRecipCount = (ULONG)recipients->count;
    message.lpRecips = recipients->list;
    message.nFileCount = 1;
    message.lpFiles = &file;
    ULONG code = 0;
    if (!SendMapiMailGuarded(mapi, mainWindow, &message, &code)) {
        WriteText(mail.log, "ERROR (142a): Caught exception while trying to send MAPI email: %s\n", mail.subject);
        return 0;
    }
    if (code != 0) {
        LogMapiError(mail.log, code);
        return 0;
    }
    return 1;
}

int SendBySmtp(ResultMail &mail, MailLibrary *library, bool *winsockStarted)
{
    if (!StartWinsock(mail.log))
        return 0;
    *winsockStarted = true;
    if (!BindMailLibraryForJob(library, mail.log, kResultMailCodes))
        return 0;
    BackupConfig *config = mail.config;
    // A stop of the job does not interrupt this e-mail.
    const uint8_t noCancel = 0;
    for (int tries = 0;; ++tries) {
        HeapSendMailRequest request = NewSendMailRequest();
        if (!request) {
            LogMimeFailure(mail.log, MimeOutOfMemory, mail.attachment, kResultMailCodes);
            return 0;
        }
        CopyField(request->subject, sizeof(request->subject), mail.subject);
        uintptr_t socket = (uintptr_t)-1;
        SmtpSettings settings = {(uint32_t)gSettings.jrOptions, gSettings.jrServer, gSettings.jrPort,
                                 gSettings.jrEmailUser, gSettings.jrEmailPasswd, true, gSettings.jrEmailFrom,
                                 gSettings.jrEmailTo, "tarnmailJR.txt", &socket, &config->progressPercent};
        FillSendMailRequest(request.get(), settings);
        if (!CheckMailFieldsForJob(mail.log, request.get(), kResultMailCodes))
            return 0;
        char *body = nullptr;
        int32_t length = 0;
        MimeBuildResult built = BuildMimeMessage(request->extraHeaders, &body, mail.text, mail.attachment, &noCancel,
                                                 &config->progressPercent, &length);
        if (built != MimeOk) {
            LogMimeFailure(mail.log, built, mail.attachment, kResultMailCodes);
            return 0;
        }
        request->body = body;
        request->bodyLength = length;
        int32_t code = library->sendMail(request.get());
        WipeSendMailRequest(request.get());
        free(body);
        if (code == 0) {
            WriteText(mail.log, "E-mail of job results completed successfully.\n\n");
            return 1;
        }
        WriteText(mail.log, "Failed to send result email (Try %d): SMTP E-mail Code %d.  Message: %s\n", tries + 1,
                  code, request->errorText);
        if (tries >= gSettings.smtpRetry || IsFinalSendMailCode(code)) {
            WriteText(mail.log, "\tNo message was sent.\n");
            return 0;
        }
        WriteText(mail.log, "Re-trying results email\n");
        fflush(mail.log);
    }
}

} // namespace

int IsResultMailDue(const BackupConfig *config)
{
    int when = gSettings.jrEmailWhen;
    int manual = IsManuallyStarted(config);
    if (when & 0x01)
        return 0;
    if ((when & 0x02) && manual == 0)
        return 0;
    if ((when & 0x04) && manual == 1)
        return 0;
    if (when & 0x10) {
        switch (config->lastResult) {
        case 1:
        case 4:
        case 5:
        case 6:
        case 7:
            return 0;
        default:
            break;
        }
    }
    return 1;
}

int SendJobResultMail(FILE *log, BackupConfig *config)
{
    SYSTEMTIME now;
    GetLocalNow(&now);
    char when[128];
    FormatSystemTime(when, sizeof(when), &now);
    fflush(log);
    ResultMail mail = {};
    mail.log = log;
    mail.config = config;
    char logPath[260];
    FormatText(logPath, sizeof(logPath), "%s%d.txt", dataFolder, config->uniqueId);
    FormatText(mail.attachment, sizeof(mail.attachment), "%s%d_emailresults.txt", dataFolder, config->uniqueId);
    FileCheck logCheck, copyCheck;
    bool copied = CopyFileChecked(logPath, mail.attachment, &logCheck, &copyCheck);
    LogFileCheck(log, logCheck, logPath);
    LogFileCheck(log, copyCheck, mail.attachment);
    if (!copied) {
        LogLastError("Copy File For Emailing Job Results", log);
        WriteText(log, "ERROR (136a): Unable to copy log file: %s -> %s\n", logPath, mail.attachment);
        return 0;
    }
    char word[64];
    GetJobResultText(config->lastResult, word, sizeof(word));
    FormatText(mail.subject, sizeof(mail.subject), "%s - %s", config->description, word);
    FormatText(mail.text, sizeof(mail.text),
               "Backup configuration: %s\r\nJob Result: %s\r\nDate and time: %s\r\n\r\nSent by %s.\r\n%s\r\n",
               config->description, word, when, kProductName, kMakerWebSite);
    SimpleMapiTable mapi = {};
    MapiRecipients recipients = {};
    MailLibrary library;
    bool winsockStarted = false;
    int sent = (gSettings.jrOptions & UseSimpleMapi) ? SendByMapi(mail, &mapi, &recipients)
                                                     : SendBySmtp(mail, &library, &winsockStarted);
    if (sent && (gSettings.jrOptions & UseSimpleMapi))
        WriteText(log, "E-mail of job results completed successfully.\n\n");
    FreeMapiRecipients(&recipients);
    ReleaseSimpleMapi(&mapi, mainWindow);
    library.Release();
    if (winsockStarted)
        StopWinsock(log);
    return sent;
}
