// What the job's two e-mail roads (the backup volumes and the job result) share: the library
// binding and the Simple MAPI session with their log lines, the request block filled from a
// set of SMTP settings, and the texts of every message. The job-result road's log codes are
// the volume road's plus 100.
#pragma once
#include <stdint.h>
#include <stdio.h>

#include "MailLibrary.h"
#include "MimeMessage.h"
#include "SimpleMapi.h"

extern const char *const kMakerWebSite;

// Log-code offsets of the two roads.
const int kVolumeMailCodes = 0;
const int kResultMailCodes = 100;

struct SmtpSettings {
    uint32_t emailFlags;
    const char *server;
    int32_t port;
    const char *user;
    const char *password;
    bool passwordScrambled;
    const char *from;
    const char *to;
    const char *logName;    // file name of the library's log in the data folder
    uintptr_t *socketSlot;
    int32_t *percent;
};

// Everything of a prepared request but the subject, body and extra headers. The password is
// unscrambled into the request only; wipe the request after the send.
void FillSendMailRequest(SendMailRequest *request, const SmtpSettings &settings);
void WipeSendMailRequest(SendMailRequest *request);

// Why the request cannot go, when a field would break the SMTP dialogue (FindUnsafeMailField):
// the field named and its text on one line. False when every field can go.
bool DescribeUnsafeMailField(const SendMailRequest *request, char *text, size_t textSize);
// Logs that line as an error of the road before anything is sent; 1 when every field can go.
int CheckMailFieldsForJob(FILE *log, const SendMailRequest *request, int codes);

// Binds tarnmail.dll; on a failure logs why and returns 0.
int BindMailLibraryForJob(MailLibrary *library, FILE *log, int codes);
// Logs the failure of BuildMimeMessage for the attachment at path.
void LogMimeFailure(FILE *log, MimeBuildResult result, const char *path, int codes);
// Loads Simple MAPI, logs on with the main window and builds the recipients; on a failure
// logs why and returns 0 (the caller releases the table and the recipients).
int OpenMapiSession(SimpleMapiTable *mapi, MapiRecipients *recipients, const char *to, uint32_t emailFlags,
                    FILE *log, int codes);
// The final codes of send_mail, which no retry can help.
bool IsFinalSendMailCode(int32_t code);
// Copies text into a fixed field, always terminated.
void CopyField(char *field, size_t fieldSize, const char *text);
