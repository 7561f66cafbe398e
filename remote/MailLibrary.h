// Binding tarnmail.dll, the SMTP library beside the program, for one send operation.
#pragma once
#include <windows.h>

#include <memory>

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

// A prepared request block on the heap: the password it carries must not lie on a thread's
// stack, where a crash dump would find it. Wiped whole before it is freed; NULL when memory ran
// out.
struct SendMailRequestWiper {
    void operator()(SendMailRequest *request) const;
};
typedef std::unique_ptr<SendMailRequest, SendMailRequestWiper> HeapSendMailRequest;
HeapSendMailRequest NewSendMailRequest();
// The SmtpSecurity of an EmailFlags word.
int32_t SecurityFromEmailFlags(uint32_t emailFlags);
