// The test e-mails offered by the e-mail settings pages. They run on the window thread and
// report in message boxes.
#pragma once
#include <windows.h>
#include <stdint.h>

void SendMapiTestMail(HWND window, const char *recipients, uint32_t emailFlags);
// The password is the plain text typed in the dialog.
void SendSmtpTestMail(HWND window, const char *recipients, uint32_t emailFlags, const char *server, int port,
                      const char *user, const char *password, const char *from);
