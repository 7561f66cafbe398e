#include "MailLibrary.h"

#include <stdlib.h>
#include <string.h>

#include "BackupConfig.h"
#include "MessageBoxSeam.h"
#include "MsvcrtFormat.h"

namespace {

char libraryFolder[260] = "";

} // namespace

void SetMailLibraryFolder(const char *folder)
{
    lstrcpynA(libraryFolder, folder != nullptr ? folder : "", sizeof(libraryFolder));
}

MailLibraryResult MailLibrary::Bind()
{
    char path[300];
    if (libraryFolder[0] != '\0') {
        size_t length = strlen(libraryFolder);
        FormatText(path, sizeof(path), "%s%starnmail.dll", libraryFolder,
                   libraryFolder[length - 1] != '\\' ? "\\" : "");
    } else {
        char program[MAX_PATH];
        DWORD length = GetModuleFileNameA(nullptr, program, sizeof(program) - 1);
        program[length < sizeof(program) ? length : sizeof(program) - 1] = '\0';
        char *slash = strrchr(program, '\\');
        if (slash == nullptr)
            return MailLibraryResult::NoBackslash;
        slash[1] = '\0';
        FormatText(path, sizeof(path), "%starnmail.dll", program);
    }
    module = LoadLibraryA(path);
    if (module == nullptr)
        return MailLibraryResult::LoadFailed;
    sendMail = reinterpret_cast<SendMailProc>(reinterpret_cast<void *>(GetProcAddress(module, "send_mail")));
    if (sendMail == nullptr) {
        DWORD error = GetLastError();
        Release();
        SetLastError(error);
        return MailLibraryResult::NoFunction;
    }
    return MailLibraryResult::Bound;
}

void MailLibrary::Release()
{
    if (module != nullptr)
        FreeLibrary(module);
    module = nullptr;
    sendMail = nullptr;
}

void PrepareSendMailRequest(SendMailRequest *request)
{
    memset(request, 0, sizeof(*request));
    request->reserved1 = 0;
    request->reserved2 = 0;
    request->reserved3 = 100;
    lstrcpynA(request->programName, kProductName, sizeof(request->programName));
}

void SendMailRequestWiper::operator()(SendMailRequest *request) const
{
    SecureZeroMemory(request, sizeof(*request));
    free(request);
}

HeapSendMailRequest NewSendMailRequest()
{
    HeapSendMailRequest request(static_cast<SendMailRequest *>(malloc(sizeof(SendMailRequest))));
    if (request)
        PrepareSendMailRequest(request.get());
    return request;
}

int32_t SecurityFromEmailFlags(uint32_t emailFlags)
{
    if (emailFlags & SecureTls)
        return SmtpSecurityTls;
    if (emailFlags & SecureSsl)
        return SmtpSecuritySsl;
    return SmtpSecurityNone;
}
