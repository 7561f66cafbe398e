#include "TestMails.h"

#include <winsock2.h>

#include "ConfigTable.h"
#include "ErrorReport.h"
#include "MailRoads.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"
#include "Winsock.h"

namespace {

void FormatTestTexts(char *subject, size_t subjectSize, char *text, size_t textSize)
{
    FormatText(subject, subjectSize, "%s Email Test", kProductName);
    FormatText(text, textSize, "E-mail configuration test\r\n\r\nSent by %s.\r\n%s\r\n", kProductName, kMakerWebSite);
}

void Show(HWND window, const char *text)
{
    ShowMessageBox(window, text, kProductName, MB_OK);
}

void SendMapiTest(HWND window, const char *to, uint32_t emailFlags, SimpleMapiTable *mapi, MapiRecipients *recipients)
{
    if (!LoadSimpleMapi(mapi)) {
        Show(window, "Failed to initialize Simple MAPI.  Make sure you have a default email client enabled that "
                     "supports Simple MAPI.");
        return;
    }
    char empty[1] = "";
    ULONG logon = mapi->logon((ULONG_PTR)mainWindow, empty, empty, MAPI_LOGON_UI | MAPI_NEW_SESSION, 0, &mapi->session);
    if (logon != 0) {
        mapi->session = 0;
        char message[128];
        FormatText(message, sizeof(message), "Failed to logon to Simple MAPI email client.  Error %d", (int)logon);
        Show(window, message);
        return;
    }
    int failedSize = 0;
    switch (BuildMapiRecipients(recipients, to, (emailFlags & MapiPlainAddress) != 0, &failedSize)) {
    case RecipientsResult::Built:
        break;
    case RecipientsResult::ListFailed:
        Show(window, "Failed to allocate recipient memory");
        return;
    case RecipientsResult::AddressFailed:
        Show(window, "Failed to allocate address memory");
        return;
    }
    char subject[256];
    char text[256];
    FormatTestTexts(subject, sizeof(subject), text, sizeof(text));
    MapiMessage message = {};
    message.lpszSubject = subject;
    message.lpszNoteText = text;
    message.nRecipCount = (ULONG)recipients->count;
    message.lpRecips = recipients->list;
    ULONG code = 0;
    if (!SendMapiMailGuarded(mapi, mainWindow, &message, &code))
        Show(window, "Caught exception while trying to send MAPI email");
    else if (code == 0)
        Show(window, "Message Sent Successfully");
    else
        ShowMapiError(window, code);
}

} // namespace

void SendMapiTestMail(HWND window, const char *recipients, uint32_t emailFlags)
{
    SimpleMapiTable mapi = {};
    MapiRecipients list = {};
    SendMapiTest(window, recipients, emailFlags, &mapi, &list);
    FreeMapiRecipients(&list);
    ReleaseSimpleMapi(&mapi, mainWindow);
}

void SendSmtpTestMail(HWND window, const char *recipients, uint32_t emailFlags, const char *server, int port,
                      const char *user, const char *password, const char *from)
{
    // On the heap, as the password it carries must be.
    HeapSendMailRequest request = NewSendMailRequest();
    if (!request) {
        Show(window, "Memory allocation error while creating email body");
        return;
    }
    int32_t percent = 0;
    uintptr_t socket = (uintptr_t)-1;
    char text[256] = "";
    FormatTestTexts(request->subject, sizeof(request->subject), text, sizeof(text));
    CopyField(request->extraHeaders, sizeof(request->extraHeaders),
              "Content-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: quoted-printable\r\n");
    SmtpSettings settings = {emailFlags, server, port, user, password, false, from, recipients, "tarnmail.txt",
                             &socket, &percent};
    FillSendMailRequest(request.get(), settings);
    request->body = text;
    request->bodyLength = sizeof(text);
    char refusal[2048];
    if (DescribeUnsafeMailField(request.get(), refusal, sizeof(refusal))) {
        Show(window, refusal);
        return;
    }
    if (!StartWinsock(nullptr)) {
        Show(window, "Failed to initialize winsock");
        return;
    }
    MailLibrary library;
    switch (library.Bind()) {
    case MailLibraryResult::Bound:
        break;
    case MailLibraryResult::NoBackslash:
        Show(window, "No backslash GMFN");
        WSACleanup();
        return;
    case MailLibraryResult::LoadFailed:
        ShowLastError(window);
        Show(window, "Unable to load tarnmail.dll");
        WSACleanup();
        return;
    case MailLibraryResult::NoFunction:
        ShowLastError(window);
        Show(window, "Failed to get tarnmail.dll functions");
        WSACleanup();
        return;
    }
    int32_t code = library.sendMail(request.get());
    WipeSendMailRequest(request.get());
    if (code == 0) {
        Show(window, "Message Sent Successfully");
    } else {
        char message[1200];
        FormatText(message, sizeof(message), "Failed to send email: SMTP E-mail Code %d.  Message: %.1024s\n", code,
                   request->errorText);
        Show(window, message);
    }
    library.Release();
    WSACleanup();
}
