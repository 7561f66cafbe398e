#include "SimpleMapi.h"

#include <stdlib.h>
#include <string.h>

#include "GuardedCall.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"

namespace {

template <typename T> bool Resolve(HMODULE module, const char *name, T *slot)
{
    *slot = reinterpret_cast<T>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    return *slot != nullptr;
}

struct ErrorText {
    ULONG code;
    const char *text;
};

const ErrorText kErrorTexts[] = {
    {MAPI_E_FAILURE, "One or more unspecified errors occurred."},
    {MAPI_E_LOGON_FAILURE, "There was no default logon, and the user failed to log on successfully when the logon "
                           "dialog box was displayed."},
    {MAPI_E_INSUFFICIENT_MEMORY, "There was insufficient memory to proceed."},
    {MAPI_E_TOO_MANY_FILES, "There were too many file attachments."},
    {MAPI_E_TOO_MANY_RECIPIENTS, "There were too many recipients."},
    {MAPI_E_ATTACHMENT_NOT_FOUND, "The specified attachment was not found."},
    {MAPI_E_ATTACHMENT_OPEN_FAILURE, "The specified attachment could not be opened."},
    {MAPI_E_UNKNOWN_RECIPIENT, "A recipient did not appear in the address list."},
    {MAPI_E_BAD_RECIPTYPE, "The type of a recipient was not MAPI_TO, MAPI_CC, or MAPI_BCC."},
    {MAPI_E_TEXT_TOO_LARGE, "The text in the message was too large."},
    {MAPI_E_AMBIGUOUS_RECIPIENT, "A recipient matched more than one of the recipient descriptor structures and "
                                 "MAPI_DIALOG was not set."},
    {MAPI_E_INVALID_RECIPS, "One or more recipients were invalid or did not resolve to any address."},
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Any exception that the mail client raises and does not handle itself ends its call.
bool IsClientFault(DWORD)
{
    return true;
}

} // namespace

int IsSimpleMapiInstalled()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows Messaging Subsystem", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return 0;
    char value[129] = "";
    DWORD size = 128;
    DWORD type = 0;
    LONG read = RegQueryValueExA(key, "MAPI", nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return 0;
    value[size < 128 ? size : 128] = '\0';
    return lstrcmpA(value, "1") == 0 ? 1 : 0;
}

int ResolveSimpleMapi(SimpleMapiTable *t)
{
    HMODULE m = t->module;
    return Resolve(m, "MAPILogon", &t->logon) && Resolve(m, "MAPILogoff", &t->logoff) &&
                   Resolve(m, "MAPISendMail", &t->sendMail) && Resolve(m, "MAPISendDocuments", &t->sendDocuments) &&
                   Resolve(m, "MAPIFindNext", &t->findNext) && Resolve(m, "MAPIReadMail", &t->readMail) &&
                   Resolve(m, "MAPISaveMail", &t->saveMail) && Resolve(m, "MAPIDeleteMail", &t->deleteMail) &&
                   Resolve(m, "MAPIFreeBuffer", &t->freeBuffer) && Resolve(m, "MAPIAddress", &t->address) &&
                   Resolve(m, "MAPIDetails", &t->details) && Resolve(m, "MAPIResolveName", &t->resolveName)
               ? 1
               : 0;
}

int LoadSimpleMapi(SimpleMapiTable *table)
{
    if (!IsSimpleMapiInstalled())
        return 0;
    UINT previous = SetErrorMode(SEM_NOOPENFILEERRORBOX);
    table->module = LoadLibraryA("MAPI32.DLL");
    SetErrorMode(previous);
    if (table->module == nullptr)
        return 0;
    return ResolveSimpleMapi(table);
}

int UnloadSimpleMapi(SimpleMapiTable *table)
{
    if (table->module == nullptr)
        return 0;
    BOOL freed = FreeLibrary(table->module);
    table->module = nullptr;
    return freed ? 1 : 0;
}

void ReleaseSimpleMapi(SimpleMapiTable *table, HWND window)
{
    if (table->session != 0 && table->logoff != nullptr)
        table->logoff(table->session, (ULONG_PTR)window, 0, 0);
    table->session = 0;
    if (table->module != nullptr)
        UnloadSimpleMapi(table);
}

const char *GetMapiErrorText(ULONG code)
{
    for (const ErrorText &entry : kErrorTexts)
        if (entry.code == code)
            return entry.text;
    return "Unknown Error.";
}

void LogMapiError(FILE *log, ULONG code)
{
    WriteText(log, "%s\n", GetMapiErrorText(code));
    WriteText(log, "\tNo message was sent.\n");
}

void ShowMapiError(HWND window, ULONG code)
{
    ShowMessageBox(window, GetMapiErrorText(code), kProductName, MB_OK);
    ShowMessageBox(window, "No message was sent.", kProductName, MB_OK);
}

RecipientsResult BuildMapiRecipients(MapiRecipients *r, const char *addresses, bool plainAddress, int *failedSize)
{
    lstrcpynA(r->work, addresses, sizeof(r->work));
    r->count = 1;
    for (const char *p = r->work; *p != '\0'; ++p)
        if (*p == ',')
            ++r->count;
    r->list = static_cast<MapiRecipDesc *>(calloc((size_t)r->count, sizeof(MapiRecipDesc)));
    if (r->list == nullptr)
        return RecipientsResult::ListFailed;
    char *piece = r->work;
    for (int i = 0; i < r->count; ++i) {
        char *comma = strchr(piece, ',');
        if (comma != nullptr)
            *comma = '\0';
        char formatted[266];
        FormatText(formatted, sizeof(formatted), plainAddress ? "%s" : "SMTP:%s", piece);
        size_t size = strlen(formatted) + 1;
        char *address = static_cast<char *>(malloc(size));
        if (address == nullptr) {
            *failedSize = (int)size;
            return RecipientsResult::AddressFailed;
        }
        memcpy(address, formatted, size);
        MapiRecipDesc &entry = r->list[i];
        entry.ulRecipClass = MAPI_TO;
        entry.lpszName = piece;
        entry.lpszAddress = address;
        if (comma == nullptr)
            break;
        piece = comma + 1;
        while (IsBlank(*piece))
            ++piece;
    }
    return RecipientsResult::Built;
}

void FreeMapiRecipients(MapiRecipients *r)
{
    if (r->list != nullptr) {
        for (int i = 0; i < r->count; ++i)
            free(r->list[i].lpszAddress);
        free(r->list);
    }
    r->list = nullptr;
    r->count = 0;
}

int SendMapiMailGuarded(const SimpleMapiTable *table, HWND window, MapiMessage *message, ULONG *code)
{
    auto send = [&] { *code = table->sendMail(table->session, (ULONG_PTR)window, message, 0, 0); };
    DWORD raised = 0;
    return RunGuardedCall(send, IsClientFault, &raised) ? 1 : 0;
}
