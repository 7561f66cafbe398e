// The job's "e-mail backup" step: each file of the compressed backup in an e-mail of its own,
// through the user's mail client or through tarnmail.dll.
#include "MailVolumes.h"

#include <stdlib.h>
#include <string.h>

#include "Calendar.h"
#include "Clock.h"
#include "ConfigRuntime.h"
#include "ConfigTable.h"
#include "GlobalSettings.h"
#include "MailRoads.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "Winsock.h"
#include "ZipStep.h"

namespace {

struct VolumeRun {
    FILE *log;
    BackupConfig *config;
    ZipVolumePath *volumes;
    int count;
    const char *when;
    int sent;
};

void FormatVolumeText(char *out, size_t outSize, const VolumeRun &run, int index)
{
    FormatText(out, outSize,
               "Backup configuration: %s\r\nCompressed backup file: %s\r\nFile %d of %d\r\nDate and time: %s\r\n\r\n"
               "Sent by %s.\r\n%s\r\n",
               run.config->description, run.volumes[index], index + 1, run.count, run.when, kProductName,
               kMakerWebSite);
}

void SetSendingStatus(BackupConfig *config, const char *format, int number, int count)
{
    char status[520];
    FormatText(status, sizeof(status), format, number, count);
    SetStatusText(config, status);
}

int SendByMapi(VolumeRun &run, SimpleMapiTable *mapi, MapiRecipients *recipients)
{
    BackupConfig *config = run.config;
    if (!OpenMapiSession(mapi, recipients, config->emailTo, config->emailFlags, run.log, kVolumeMailCodes))
        return 0;
    for (int i = 0; i < run.count; ++i) {
        if (IsCancelRequested(config))
            return 0;
        SetProgressPercent(config, 0);
        char *path = run.volumes[i];
        char *slash = strrchr(path, '\\');
        if (slash == nullptr) {
            WriteText(run.log, "ERROR (41a): Missing backslash: %s\n", path);
            return 0;
        }
        char text[2048];
        FormatVolumeText(text, sizeof(text), run, i);
        MapiFileDesc file = {};
        file.nPosition = (ULONG)-1;
        file.lpszPathName = path;
        MapiMessage message = {};
        message.lpszSubject = slash + 1;
        message.lpszNoteText = text;
        message.nRecipCount = (ULONG)recipients->count;
        message.lpRecips = recipients->list;
        message.nFileCount = 1;
        message.lpFiles = &file;
        SetSendingStatus(config, "Sending Email %d of %d", i + 1, run.count);
        ULONG code = 0;
        if (!SendMapiMailGuarded(mapi, mainWindow, &message, &code)) {
            WriteText(run.log, "ERROR (42a): Caught exception while trying to send MAPI email: %s\n", path);
            return 0;
        }
        if (code != 0) {
            LogMapiError(run.log, code);
            return 0;
        }
        ++run.sent;
    }
    return 1;
}

// One try of file k: 1 sent, 0 failed (code in *code), -1 the step ends here.
int TrySmtpVolume(VolumeRun &run, SendMailProc sendMail, int k, int tries, int32_t *code)
{
    BackupConfig *config = run.config;
    if (IsCancelRequested(config))
        return -1;
    SetProgressPercent(config, 0);
    const char *path = run.volumes[k];
    const char *slash = strrchr(path, '\\');
    if (slash == nullptr) {
        WriteText(run.log, "ERROR (45a): Missing backslash: %s\n", path);
        return -1;
    }
    HeapSendMailRequest request = NewSendMailRequest();
    if (!request) {
        LogMimeFailure(run.log, MimeOutOfMemory, path, kVolumeMailCodes);
        return -1;
    }
    CopyField(request->subject, sizeof(request->subject), slash + 1);
    SmtpSettings settings = {config->emailFlags, config->mailServer, config->smtpPort, config->smtpUsername,
                             config->smtpPassword, true, config->emailFrom, config->emailTo, "tarnmail.txt",
                             reinterpret_cast<uintptr_t *>(&config->smtpSocket), &config->progressPercent};
    FillSendMailRequest(request.get(), settings);
    // Before the message is built: a large one would be built for nothing.
    if (!CheckMailFieldsForJob(run.log, request.get(), kVolumeMailCodes))
        return -1;
    SetSendingStatus(config, "Encoding Email %d of %d", k + 1, run.count);
    char text[2048];
    FormatVolumeText(text, sizeof(text), run, k);
    char *body = nullptr;
    int32_t length = 0;
    MimeBuildResult built = BuildMimeMessage(request->extraHeaders, &body, text, path, &config->cancelRequested,
                                             &config->progressPercent, &length);
    if (IsCancelRequested(config)) {
        free(body);
        return -1;
    }
    if (built != MimeOk) {
        LogMimeFailure(run.log, built, path, kVolumeMailCodes);
        return -1;
    }
    request->body = body;
    request->bodyLength = length;
    SetProgressPercent(config, 0);
    SetSendingStatus(config, "Sending Email %d of %d", k + 1, run.count);
    *code = sendMail(request.get());
    WipeSendMailRequest(request.get());
    free(body);
    if (IsCancelRequested(config))
        return -1;
    if (*code == 0)
        return 1;
    WriteText(run.log, "Failed to send email %d of %d (Try %d): SMTP E-mail Code %d.  Message: %s\n", k + 1, run.count,
              tries + 1, *code, request->errorText);
    return 0;
}

int SendBySmtp(VolumeRun &run, MailLibrary *library, bool *winsockStarted)
{
    if (!StartWinsock(run.log))
        return 0;
    *winsockStarted = true;
    if (!BindMailLibraryForJob(library, run.log, kVolumeMailCodes))
        return 0;
    int tries = 0;
    for (int k = 0; k < run.count;) {
        int32_t code = 0;
        int result = TrySmtpVolume(run, library->sendMail, k, tries, &code);
        if (result < 0)
            return 0;
        if (result == 1) {
            ++run.sent;
            tries = 0;
            ++k;
            continue;
        }
        if (tries >= gSettings.smtpRetry || IsFinalSendMailCode(code)) {
            WriteText(run.log, "\tNo message was sent.\n");
            return 0;
        }
        WriteText(run.log, "Re-trying email %d\n", k + 1);
        fflush(run.log);
        ++tries;
    }
    return 1;
}

} // namespace

int SendVolumesByMail(FILE *log, JobContext *context)
{
    BackupConfig *config = context->config;
    SYSTEMTIME now;
    GetLocalNow(&now);
    char when[128];
    FormatSystemTime(when, sizeof(when), &now);
    if (IsCancelRequested(config))
        return 1;
    if (!(config->flags & Encrypted) && gSettings.remoteRequiresEncryption == 1) {
        WriteText(log, "WARNING (35e): Compressed ZIP file is not encrypted.  Skipped e-mail backup.  Either turn on "
                       "encryption, or adjust option under 'File / Options...' to allow non-encyrpted remote backup.\n");
        return 0;
    }
    VolumeRun run = {log, config, nullptr, 0, when, 0};
    if (!ListZipVolumes(context, log, &run.count, &run.volumes)) {
        WriteText(log, "ERROR (36e): Failed to find ZIP files for emailing\n");
        return 0;
    }
    if (IsCancelRequested(config)) {
        free(run.volumes);
        return 0;
    }
    if (run.count == 0) {
        WriteText(log, "No ZIP files need emailing\n");
        free(run.volumes);
        return 1;
    }
    SimpleMapiTable mapi = {};
    MapiRecipients recipients = {};
    MailLibrary library;
    bool winsockStarted = false;
    int sent = (config->emailFlags & UseSimpleMapi) ? SendByMapi(run, &mapi, &recipients)
                                                    : SendBySmtp(run, &library, &winsockStarted);
    free(run.volumes);
    FreeMapiRecipients(&recipients);
    ReleaseSimpleMapi(&mapi, mainWindow);
    library.Release();
    if (winsockStarted)
        StopWinsock(log);
    if (!sent)
        return 0;
    SetProgressPercent(config, 100);
    WriteText(log, "Remote backup via e-mail completed successfully.  Sent %d e-mail%s.\n", run.sent,
              run.sent >= 2 ? "s" : "");
    return 1;
}
