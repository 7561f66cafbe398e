// Simple MAPI through the user's mail client: MAPI32.DLL loaded on demand, its error texts,
// the recipients of a message and the guarded send.
#pragma once
#include <windows.h>
#include <mapi.h>
#include <stdio.h>

// The state of one e-mail operation: each operation holds its own, so a test e-mail sent from
// a dialog never meets a job's e-mail.
struct SimpleMapiTable {
    HMODULE module;
    LPMAPILOGON logon;
    LPMAPILOGOFF logoff;
    LPMAPISENDMAIL sendMail;
    LPMAPISENDDOCUMENTS sendDocuments;
    LPMAPIFINDNEXT findNext;
    LPMAPIREADMAIL readMail;
    LPMAPISAVEMAIL saveMail;
    LPMAPIDELETEMAIL deleteMail;
    LPMAPIFREEBUFFER freeBuffer;
    LPMAPIADDRESS address;
    LPMAPIDETAILS details;
    LPMAPIRESOLVENAME resolveName;
    LHANDLE session;
};

int IsSimpleMapiInstalled();
// Loads MAPI32.DLL and resolves its twelve functions into a zeroed table; 0 when Simple MAPI is
// not installed or any function is missing. A module loaded stays for UnloadSimpleMapi.
int LoadSimpleMapi(SimpleMapiTable *table);
// The twelve functions of a loaded module; 0 at the first one missing.
int ResolveSimpleMapi(SimpleMapiTable *table);
int UnloadSimpleMapi(SimpleMapiTable *table);
// Logs off when a session is held, then unloads.
void ReleaseSimpleMapi(SimpleMapiTable *table, HWND window);

const char *GetMapiErrorText(ULONG code);
void LogMapiError(FILE *log, ULONG code);
void ShowMapiError(HWND window, ULONG code);

// The recipients of one message: one MAPI_TO entry per comma-separated address.
struct MapiRecipients {
    char work[256];
    MapiRecipDesc *list;
    int count;
};
enum class RecipientsResult { Built, ListFailed, AddressFailed };
// On AddressFailed *failedSize holds the size that could not be allocated.
RecipientsResult BuildMapiRecipients(MapiRecipients *recipients, const char *addresses, bool plainAddress,
                                     int *failedSize);
void FreeMapiRecipients(MapiRecipients *recipients);

// MAPISendMail inside a handler for an exception raised in the mail client. 1 when the call
// returned (its code in *code), 0 when the client raised an exception.
int SendMapiMailGuarded(const SimpleMapiTable *table, HWND window, MapiMessage *message, ULONG *code);
