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
    return SendRequestedMail(request);
}
