// Binding tarnmail.dll, the SMTP library beside the program, for one send operation.
#pragma once
#include <windows.h>

#include "SendMailRequest.h"

enum class MailLibraryResult { Bound, NoBackslash, LoadFailed, NoFunction };

struct MailLibrary {
    HMODULE module = nullptr;
    SendMailProc sendMail = nullptr;
    MailLibrary() = default;
    MailLibrary(const MailLibrary &) = delete;
    MailLibrary &operator=(const MailLibrary &) = delete;
    ~MailLibrary() { Release(); }
    // Loads the library and finds send_mail; on a failure GetLastError still tells why.
    MailLibraryResult Bind();
    void Release();
};

// Folder the library is loaded from; NULL or "" is the program's own folder.
void SetMailLibraryFolder(const char *folder);

// A request block with what every send sets the same way: zeroed, the fixed trailing
// integers, the program name.
void PrepareSendMailRequest(SendMailRequest *request);
// The SmtpSecurity of an EmailFlags word.
int32_t SecurityFromEmailFlags(uint32_t emailFlags);
