// The e-mail settings that the E-Mail page (dialog 426) and the job-result e-mail dialog (428)
// share under the same control ids: filling and reading them, which of them are enabled, their
// commands, and the test e-mail sent with the values on screen.
#pragma once
#include <windows.h>
#include <stdint.h>

struct MailSettings {
    uint32_t flags;     // EmailFlags; only the six bits the controls show are read back
    char to[256];
    char server[128];
    char from[256];
    char user[64];
    char password[64];  // plain text
    int port;
};

// Fills the controls; the port's up-down gets the range lowestPort to 9999.
void ShowMailSettings(HWND dialog, const MailSettings &settings, int lowestPort);
// Reads the controls: the flags' six bits replaced, the texts and the port.
void ReadMailSettings(HWND dialog, MailSettings *settings);
// The six bits of the controls put into `flags`.
uint32_t ReadMailFlags(HWND dialog, uint32_t flags);
// What the test sends: the flags without UseSimpleMapi.
uint32_t ReadTestMailFlags(HWND dialog);

// Enables the controls by the road chosen; `enabled` false disables all of them.
void RefreshMailStates(HWND dialog, bool enabled);
// A command of one of the shared controls (the Test button runs the test). 1 when it edited a
// setting, which marks a page changed.
int OnMailSettingsCommand(HWND dialog, int id, int code);
