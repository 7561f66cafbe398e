// tarnmail: the SMTP dialogue for one prepared message.
#include <windows.h>

#include "SendMailRequest.h"
#include "SmtpSession.h"

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}

extern "C" int32_t __stdcall send_mail(SendMailRequest *request)
{
    // OpenSSL leaves its clean-up in the process's exit handlers, so once it has run the
    // library must stay loaded until the process ends, whatever FreeLibrary the caller makes.
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&send_mail), &self);
    return SendRequestedMail(request);
}
